#include "config/profile_file.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <set>
#include <string>

#include "config/config_file.h"
#include "platform/file_store.h"
#include "temp_dir.h"

namespace config {
namespace {

class ProfileFileTest : public testing::Test {
  protected:
    TempDir dir_;
    std::string ini_ = dir_.file("Corvantis.ini");

    std::set<std::string> folderEntries() const {
        std::set<std::string> names;
        for (const auto& entry : std::filesystem::directory_iterator(dir_.path())) {
            names.insert(entry.path().filename().string());
        }
        return names;
    }
};

TEST_F(ProfileFileTest, MissingFileReadsAsDefaultsAndFirstWriteCreatesIt) {
    EXPECT_EQ(readProfileString(ini_, "Advanced", "DataAlert", "YES", 99), "YES");
    EXPECT_TRUE(readProfileSection(ini_, "protection").empty());
    EXPECT_FALSE(std::filesystem::exists(ini_));

    ASSERT_TRUE(writeProfileString(ini_, "Advanced", "FirstRun", "NO"));
    EXPECT_EQ(readWholeFile(ini_), "[Advanced]\nFirstRun=NO\n");
    // Only the file and the writers' lock file remain: no temporary file is left behind.
    EXPECT_EQ(folderEntries(), (std::set<std::string>{"Corvantis.ini", "Corvantis.ini.lock"}));
    struct stat st {};
    ASSERT_EQ(::stat(ini_.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0660u);
}

TEST_F(ProfileFileTest, ReaderLimitCutsValueAndDefault) {
    writeWholeFile(ini_, "[Advanced]\nLogPath=  /var/log/corvantis  \n");
    EXPECT_EQ(readProfileString(ini_, "Advanced", "LogPath", "", 255), "/var/log/corvantis");
    EXPECT_EQ(readProfileString(ini_, "Advanced", "LogPath", "", 8), "/var/log");
    EXPECT_EQ(readProfileString(ini_, "Advanced", "LogPath", "", 0), "");
    EXPECT_EQ(readProfileString(ini_, "Advanced", "MailUser", "default", 3), "def");
}

TEST_F(ProfileFileTest, ChangesByOtherWritersAreSeenAtTheNextRead) {
    writeWholeFile(ini_, "[Advanced]\nMailLog=NO\n");
    EXPECT_EQ(readProfileString(ini_, "Advanced", "MailLog", "", 255), "NO");

    // Replaced by another program (new inode, same size).
    writeWholeFile(ini_ + ".new", "[Advanced]\nMailLog=OK\n");
    std::filesystem::rename(ini_ + ".new", ini_);
    EXPECT_EQ(readProfileString(ini_, "Advanced", "MailLog", "", 255), "OK");

    // Edited in place.
    writeWholeFile(ini_, "[Advanced]\nMailLog=YES\n");
    EXPECT_EQ(readProfileString(ini_, "Advanced", "MailLog", "", 255), "YES");

    // Two of our own writes in quick succession, read from a cache filled in between.
    for (const char* value : {"A", "B", "C", "D"}) {
        ASSERT_TRUE(writeProfileString(ini_, "Advanced", "MailLog", value));
        EXPECT_EQ(readProfileString(ini_, "Advanced", "MailLog", "", 255), value);
    }

    std::filesystem::remove(ini_);
    EXPECT_EQ(readProfileString(ini_, "Advanced", "MailLog", "gone", 255), "gone");
}

TEST_F(ProfileFileTest, SuccessiveReplacementsNeverShareAnIdentity) {
    // Same size, same folder, within one tick of the file system's clock: the identities must
    // still differ, or a reader's cache would keep the older contents.
    std::optional<platform::FileIdentity> previous;
    for (int i = 0; i < 20; ++i) {
        auto identity = platform::replaceFileAtomically(ini_, i % 2 ? "[a]\nk=1\n" : "[a]\nk=2\n");
        ASSERT_TRUE(identity.has_value());
        EXPECT_EQ(platform::fileIdentity(ini_), identity);
        if (previous) {
            EXPECT_GT(identity->modifiedNs, previous->modifiedNs);
        }
        previous = identity;
    }
}

TEST_F(ProfileFileTest, WriteKeepsModeAndLineEnds) {
    writeWholeFile(ini_, "[Advanced]\r\nTjDfd=YES\r\n");
    ASSERT_EQ(::chmod(ini_.c_str(), 0640), 0);
    ASSERT_TRUE(writeProfileString(ini_, "Advanced", "TjDfd", "NO"));
    ASSERT_TRUE(writeProfileString(ini_, "protection", "/HOME/*", "VI:"));
    EXPECT_EQ(readWholeFile(ini_), "[Advanced]\r\nTjDfd=NO\r\n\r\n[protection]\r\n/HOME/*=VI:\r\n");
    struct stat st {};
    ASSERT_EQ(::stat(ini_.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0640u);
}

TEST_F(ProfileFileTest, WriteFailsWithoutTouchingWhatItCannotRead) {
    // Something that exists but is not a readable file must not be replaced by a new file.
    std::filesystem::create_directory(ini_);
    EXPECT_FALSE(writeProfileString(ini_, "Advanced", "FirstRun", "NO"));
    EXPECT_TRUE(std::filesystem::is_directory(ini_));
    EXPECT_EQ(readProfileString(ini_, "Advanced", "FirstRun", "dflt", 99), "dflt");

    EXPECT_FALSE(writeProfileString(dir_.file("no/such/folder.ini"), "a", "k", "v"));
    EXPECT_FALSE(writeProfileString(dir_.file("ok.ini"), "a", "k=", "v"));
    EXPECT_FALSE(std::filesystem::exists(dir_.file("ok.ini")));
}

TEST_F(ProfileFileTest, UpdateAppliesAGroupOfChangesAtOnceOrNotAtAll) {
    writeWholeFile(ini_, "[protection]\n/OLD/*=VI:\n");
    ASSERT_TRUE(updateProfile(ini_, [](ProfileDocument& doc) {
        return doc.emptySection("protection") && doc.setValue("protection", "/A/*", "CAT:") &&
               doc.setValue("protection", "/B/*", "");
    }));
    EXPECT_EQ(readWholeFile(ini_), "[protection]\n/A/*=CAT:\n/B/*=\n");

    EXPECT_FALSE(updateProfile(ini_, [](ProfileDocument& doc) {
        doc.emptySection("protection");
        return false;
    }));
    EXPECT_EQ(readProfileSection(ini_, "protection").size(), 2u);

    ASSERT_TRUE(emptyProfileSection(ini_, "protection"));
    EXPECT_EQ(readWholeFile(ini_), "[protection]\n");
}

TEST_F(ProfileFileTest, PathIsFormedFromTheProgramDirectoryAtEveryCall) {
    ::setenv("CORVANTIS_PROGRAM_DIR", dir_.path().c_str(), 1);
    EXPECT_EQ(configFilePath(), ini_);
    ::setenv("CORVANTIS_PROGRAM_DIR", "/opt/corvantis/", 1);
    EXPECT_EQ(configFilePath(), "/opt/corvantis/Corvantis.ini");
    ::unsetenv("CORVANTIS_PROGRAM_DIR");
}

// Several processes write distinct keys at the same time; none may be lost, and a reader in
// between only ever sees whole values.
TEST_F(ProfileFileTest, ConcurrentWriterProcessesLoseNoKey) {
    constexpr int kWriters = 4;
    constexpr int kKeysEach = 25;
    writeWholeFile(ini_, "[Advanced]\nDataAlert=YES\n");
    std::vector<pid_t> children;
    for (int w = 0; w < kWriters; ++w) {
        pid_t pid = ::fork();
        ASSERT_GE(pid, 0);
        if (pid == 0) {
            bool ok = true;
            for (int k = 0; k < kKeysEach; ++k) {
                std::string key = "/W" + std::to_string(w) + "/K" + std::to_string(k);
                ok = writeProfileString(ini_, w % 2 ? "protection" : "Other", key, key + ":") && ok;
            }
            ::_exit(ok ? 0 : 1);
        }
        children.push_back(pid);
    }
    for (int round = 0; round < 200; ++round) {
        for (const auto& section : {"protection", "Other"}) {
            for (const ProfileEntry& entry : readProfileSection(ini_, section)) {
                ASSERT_EQ(entry.value, entry.key + ":");
            }
        }
        ASSERT_EQ(readProfileString(ini_, "Advanced", "DataAlert", "", 99), "YES");
    }
    for (pid_t pid : children) {
        int status = 0;
        ASSERT_EQ(::waitpid(pid, &status, 0), pid);
        EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
    }
    for (int w = 0; w < kWriters; ++w) {
        for (int k = 0; k < kKeysEach; ++k) {
            std::string key = "/W" + std::to_string(w) + "/K" + std::to_string(k);
            EXPECT_EQ(readProfileString(ini_, w % 2 ? "protection" : "Other", key, "", 99),
                      key + ":");
        }
    }
    EXPECT_EQ(
        readProfileSection(ini_, "protection").size() + readProfileSection(ini_, "Other").size(),
        static_cast<size_t>(kWriters * kKeysEach));
}

}  // namespace
}  // namespace config
