// libvestral.so as its clients see it: the dynamic symbol table holds the FM_ functions and no
// other name, and calls through the C interface keep bad input and a missing driver in.
#include <elf.h>
#include <gtest/gtest.h>
#include <stdlib.h>

#include <cstring>
#include <filesystem>
#include <fstream>
#include <set>
#include <string>
#include <vector>

#include "fake_driver.h"
#include "vestral.h"

extern "C" int vestralHeaderCompilesAsC(void);

namespace {

// The names that libvestral.so defines and exports, read from its .dynsym section.
std::set<std::string> exportedNames(const std::string& path) {
    std::ifstream file(path, std::ios::binary);
    std::vector<char> image((std::istreambuf_iterator<char>(file)),
                            std::istreambuf_iterator<char>());
    std::set<std::string> names;
    if (image.size() < sizeof(Elf64_Ehdr))
        return names;
    auto at = [&image](size_t offset, size_t size) {
        return offset <= image.size() && size <= image.size() - offset;
    };
    Elf64_Ehdr header;
    std::memcpy(&header, image.data(), sizeof(header));
    if (std::memcmp(header.e_ident, ELFMAG, SELFMAG) != 0 || header.e_ident[EI_CLASS] != ELFCLASS64)
        return names;
    std::vector<Elf64_Shdr> sections(header.e_shnum);
    if (!at(header.e_shoff, sizeof(Elf64_Shdr) * header.e_shnum))
        return names;
    std::memcpy(sections.data(), image.data() + header.e_shoff,
                sizeof(Elf64_Shdr) * header.e_shnum);
    for (const Elf64_Shdr& section : sections) {
        if (section.sh_type != SHT_DYNSYM || section.sh_link >= sections.size())
            continue;
        const Elf64_Shdr& strings = sections[section.sh_link];
        for (size_t offset = 0; offset + sizeof(Elf64_Sym) <= section.sh_size;
             offset += sizeof(Elf64_Sym)) {
            if (!at(section.sh_offset + offset, sizeof(Elf64_Sym)))
                break;
            Elf64_Sym symbol;
            std::memcpy(&symbol, image.data() + section.sh_offset + offset, sizeof(symbol));
            int binding = ELF64_ST_BIND(symbol.st_info);
            if (symbol.st_shndx == SHN_UNDEF || (binding != STB_GLOBAL && binding != STB_WEAK))
                continue;
            if (symbol.st_name >= strings.sh_size || !at(strings.sh_offset + symbol.st_name, 1))
                continue;
            const char* name = image.data() + strings.sh_offset + symbol.st_name;
            names.insert(std::string(name, ::strnlen(name, strings.sh_size - symbol.st_name)));
        }
    }
    return names;
}

TEST(Exports, OnlyFmFunctionsAreExported) {
    std::set<std::string> names = exportedNames(VESTRAL_LIBRARY_PATH);
    ASSERT_FALSE(names.empty()) << "no dynamic symbols read from " << VESTRAL_LIBRARY_PATH;
    for (const std::string& name : names) {
        EXPECT_EQ(name.rfind("FM_", 0), 0u) << "exported name outside the interface: " << name;
    }
    for (const char* expected :
         {"FM_Init", "FM_ClearItems", "FM_AddItems", "FM_ResetItems", "FM_ApplyItems",
          "FM_GetItems", "FM_SetControl", "FM_SetExeDfd", "FM_SetFilter", "FM_SetCallBackFunc",
          "FM_SetObjectEventFunc", "FM_SetWarningEventFunc"}) {
        EXPECT_TRUE(names.count(expected)) << expected << " is not exported";
    }
}

TEST(Exports, HeaderIsPlainC) {
    EXPECT_EQ(vestralHeaderCompilesAsC(), 2300);
}

TEST(Exports, BadInputThroughTheCInterfaceIsRefused) {
    EXPECT_EQ(FM_AddItems(nullptr, 4, "A:", 2), nullptr);
    EXPECT_EQ(FM_AddItems("C:\\A", 4, nullptr, 2), nullptr);
    EXPECT_EQ(FM_SetFilter(nullptr, nullptr, nullptr, nullptr, 1, 1), 0);
    EXPECT_EQ(FM_ApplyItems(), 0);
    FM_ResetItems();
    int marker = 0;
    EXPECT_EQ(FM_SetCallBackFunc(&marker), &marker);
}

// With no driver file anywhere and no driver listening, every call fails cleanly.
TEST(Exports, MissingDriverGivesFailureValues) {
    namespace fs = std::filesystem;
    fs::path empty = fs::temp_directory_path() / ("cv-exports-" + std::to_string(::getpid()));
    fs::create_directories(empty);
    std::string savedPath = std::getenv("PATH") ? std::getenv("PATH") : "";
    ::setenv("CORVANTIS_PROGRAM_DIR", empty.c_str(), 1);
    ::setenv("VESTRAL_DEVICE_DIR", empty.c_str(), 1);
    ::setenv("PATH", "", 1);
    EXPECT_EQ(FM_Init(), 0);
    EXPECT_EQ(FM_ClearItems(), 0);
    EXPECT_EQ(FM_SetExeDfd(1), 0);
    EXPECT_EQ(FM_SetControl(1), 0);
    EXPECT_EQ(FM_GetItems(), nullptr);
    ::setenv("PATH", savedPath.c_str(), 1);
    fs::remove_all(empty);
}

// What the service tests do: the fake driver registered as the running driver service, and the
// engine started with the system's own pieces (program directory, local service manager).
TEST(Exports, InitWithTheFakeDriverInstalledAsTheDriverService) {
    namespace fs = std::filesystem;
    fs::path program = fs::temp_directory_path() / ("cv-exports-svc-" + std::to_string(::getpid()));
    fs::create_directories(program);
    ::setenv("CORVANTIS_PROGRAM_DIR", program.c_str(), 1);
    {
        fake::FakeDriver driver;
        driver.installAsDriverService(program.string());
        ASSERT_EQ(FM_Init(), 1);
        EXPECT_TRUE(driver.startedUp());
        ASSERT_NE(FM_AddItems("c:\\a", 4, "x.exe:", 6), nullptr);
        EXPECT_EQ(FM_ApplyItems(), 1);
        EXPECT_EQ(driver.items(), (std::vector<fake::Item>{{"C:\\A", "X.EXE:"}}));
        ItemTable* table = FM_GetItems();
        ASSERT_NE(table, nullptr);
        EXPECT_EQ(table->Count, 1u);
        EXPECT_EQ(FM_SetControl(0), 1);
    }
    fs::remove_all(program);
}

}  // namespace
