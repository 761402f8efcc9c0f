#include "item_rules.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <cstring>
#include <memory>

namespace vestrald {
namespace {

void setItem(ItemTable& table, size_t i, const std::string& name, const std::string& programs) {
    std::memcpy(table.Items[i].Name, name.data(), name.size());
    std::memcpy(table.Items[i].Programs, programs.data(), programs.size());
    table.Items[i].NameLength = static_cast<uint32_t>(name.size());
    table.Items[i].ProgramsLength = static_cast<uint32_t>(programs.size());
}

const uint8_t* bytes(const ItemTable& table) {
    return reinterpret_cast<const uint8_t*>(&table);
}

TEST(ItemRules, ReadBackHasTheAppliedLayoutAndZerosElsewhere) {
    auto table = std::make_unique<ItemTable>();
    std::memset(table.get(), 0xAB, sizeof(ItemTable));  // the engine never clears its block
    table->Count = 2;
    setItem(*table, 0, std::string(256, 'N'), "A:");
    setItem(*table, 1, "/TMP/P", std::string(999, 'X') + ":");
    ItemRules rules;
    ASSERT_EQ(rules.apply(bytes(*table), sizeof(ItemTable)), 0);

    auto back = std::make_unique<ItemTable>();
    rules.toTable(*back);
    EXPECT_EQ(back->Count, 2u);
    EXPECT_EQ(back->Items[0].NameLength, 256u);
    EXPECT_EQ(std::memcmp(back->Items[0].Name, table->Items[0].Name, 256), 0);
    EXPECT_EQ(back->Items[1].ProgramsLength, 1000u);
    EXPECT_EQ(std::memcmp(back->Items[1].Programs, table->Items[1].Programs, 1000), 0);
    EXPECT_EQ(back->Items[1].Name[6], 0);  // no leftovers of the engine's block
    EXPECT_EQ(back->Items[2].NameLength, 0u);
}

TEST(ItemRules, RefusesMalformedTablesAndKeepsTheOldOne) {
    auto good = std::make_unique<ItemTable>();
    good->Count = 1;
    setItem(*good, 0, "/KEEP", "A:");
    ItemRules rules;
    ASSERT_EQ(rules.apply(bytes(*good), sizeof(ItemTable)), 0);

    struct Case {
        const char* what;
        uint32_t count, nameLength, programsLength;
        char lastProgramByte;
        size_t size;
    };
    const Case cases[] = {
        {"count over 1000", 1001, 4, 2, ':', sizeof(ItemTable)},
        {"empty name", 1, 0, 2, ':', sizeof(ItemTable)},
        {"name of 257", 1, 257, 2, ':', sizeof(ItemTable)},
        {"string of 1", 1, 4, 1, ':', sizeof(ItemTable)},
        {"string of 1001", 1, 4, 1001, ':', sizeof(ItemTable)},
        {"no final ':'", 1, 4, 2, 'X', sizeof(ItemTable)},
        {"block shorter than its count", 2, 4, 2, ':', 4 + sizeof(ProtectedItem)},
        {"no count", 0, 4, 2, ':', 3},
    };
    for (const Case& c : cases) {
        auto table = std::make_unique<ItemTable>();
        table->Count = c.count;
        for (size_t i = 0; i < 2; ++i) {
            table->Items[i].NameLength = c.nameLength;
            table->Items[i].ProgramsLength = c.programsLength;
            std::memset(table->Items[i].Programs, ':', sizeof(table->Items[i].Programs));
            if (c.programsLength >= 1 && c.programsLength <= 1000)
                table->Items[i].Programs[c.programsLength - 1] = c.lastProgramByte;
        }
        EXPECT_EQ(rules.apply(bytes(*table), c.size), EINVAL) << c.what;
        ASSERT_EQ(rules.items().size(), 1u) << c.what;
        EXPECT_EQ(rules.items()[0].name, "/KEEP");
    }
}

TEST(ItemRules, RefusingItemAndAlwaysAllow) {
    auto table = std::make_unique<ItemTable>();
    table->Count = 2;
    setItem(*table, 0, "/DATA", "EDITOR:");
    setItem(*table, 1, "/DATA/INNER", "OTHER:");
    ItemRules rules;
    ASSERT_EQ(rules.apply(bytes(*table), sizeof(ItemTable)), 0);

    bool covered = false;
    EXPECT_EQ(rules.findRefusingItem("/data/a", "editor", &covered), -1);
    EXPECT_TRUE(covered);
    // Every item covering the path must permit the program.
    EXPECT_EQ(rules.findRefusingItem("/data/inner/a", "editor"), 1);
    EXPECT_EQ(rules.findRefusingItem("/other/a", "x", &covered), -1);
    EXPECT_FALSE(covered);

    EXPECT_TRUE(rules.permitAlways("/DATA/INNER", "editor"));
    EXPECT_TRUE(rules.permitAlways("/DATA/INNER", "EDITOR"));  // no second copy
    EXPECT_EQ(rules.items()[1].programs, "OTHER:EDITOR:");
    EXPECT_EQ(rules.findRefusingItem("/data/inner/a", "editor"), -1);
    EXPECT_FALSE(rules.permitAlways("/GONE", "editor"));

    // No room left in a full string: nothing changes.
    setItem(*table, 0, "/FULL", std::string(995, 'P') + ":");
    table->Count = 1;
    ASSERT_EQ(rules.apply(bytes(*table), sizeof(ItemTable)), 0);
    EXPECT_FALSE(rules.permitAlways("/FULL", "toolong"));
    EXPECT_EQ(rules.items()[0].programs.size(), 996u);
    EXPECT_TRUE(rules.permitAlways("/FULL", "ab"));  // 996 + 3 fits
}

}  // namespace
}  // namespace vestrald
