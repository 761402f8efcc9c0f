// Finding the driver's program file: the program directory first, then PATH.
#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>

#include "platform/program_search.h"

namespace {

namespace fs = std::filesystem;

class ProgramSearch : public ::testing::Test {
  protected:
    void SetUp() override {
        root_ = fs::temp_directory_path() / ("cv-search-" + std::to_string(::getpid()));
        fs::remove_all(root_);
        for (const char* dir : {"program", "path1", "path2"})
            fs::create_directories(root_ / dir);
    }
    void TearDown() override { fs::remove_all(root_); }

    std::string place(const char* dir, bool executable = true) {
        fs::path file = root_ / dir / "vestrald";
        std::ofstream(file) << "#!/bin/sh\n";
        if (executable)
            fs::permissions(file, fs::perms::owner_all, fs::perm_options::add);
        return file.string();
    }
    std::string dir(const char* name) const { return (root_ / name).string(); }

    fs::path root_;
};

TEST_F(ProgramSearch, ProgramDirectoryComesBeforePath) {
    std::string inPath = place("path2");
    std::string path = dir("path1") + ":" + dir("path2");
    EXPECT_EQ(platform::findProgramFile("vestrald", dir("program"), path), inPath);
    std::string beside = place("program");
    EXPECT_EQ(platform::findProgramFile("vestrald", dir("program"), path), beside);
}

TEST_F(ProgramSearch, OnlyExecutableFilesCount) {
    place("program", false);
    fs::create_directories(root_ / "path1" / "vestrald");  // a folder of that name
    EXPECT_FALSE(platform::findProgramFile("vestrald", dir("program"), dir("path1")));
    EXPECT_FALSE(platform::findProgramFile("vestrald", dir("program"), ""));
    EXPECT_FALSE(platform::findProgramFile("sub/vestrald", dir("program"), dir("path1")));
}

TEST_F(ProgramSearch, PathsOverTheLimitAreSkipped) {
    std::string deep = dir("program");
    while (deep.size() < platform::kMaxSearchPath)
        deep += "/dddddddddddddddddddddddddddddddd";
    fs::create_directories(deep);
    fs::path file = fs::path(deep) / "vestrald";
    std::ofstream(file) << "#!/bin/sh\n";
    fs::permissions(file, fs::perms::owner_all, fs::perm_options::add);
    EXPECT_FALSE(platform::findProgramFile("vestrald", deep, ""));
}

}  // namespace
