#include "service/config_loader.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <string>
#include <vector>

#include "temp_dir.h"
#include "config/profile_file.h"
#include "fake_driver.h"
#include "vestral.h"

namespace service {
namespace {

using fake::Item;

class ConfigLoaderTest : public testing::Test {
  protected:
    void SetUp() override {
        ::setenv("CORVANTIS_PROGRAM_DIR", dir_.path().c_str(), 1);
        ::setenv("CORVANTIS_EVENT_LOG", eventLog_.c_str(), 1);
        driver_.installAsDriverService(dir_.path());
    }
    void TearDown() override {
        // Leave the engine without a table or an item handle for the next test in this process.
        driver_.clearFaults();
        FM_SetControl(0);
        ::unsetenv("CORVANTIS_EVENT_LOG");
        ::unsetenv("CORVANTIS_PROGRAM_DIR");
    }
    void writeIni(const std::string& text) { writeWholeFile(ini_, text); }

    TempDir dir_;
    std::string ini_ = dir_.file("Corvantis.ini");
    std::string eventLog_ = dir_.file("events.log");
    fake::FakeDriver driver_;
};

TEST_F(ConfigLoaderTest, LoadsTheItemsTheEngineTakesAndDropsTheOthers) {
    writeIni(
        "[Advanced]\nDataAlert=YES\n[protection]\n/home/a/*=vi:less:\n/HOME/B/*=EXPLORER.EXE\n"
        "=NONAME:\n/HOME/C/*=CAT:\n[CAT]\nProcPath=/bin/cat\n");
    driver_.setItems({{"/OLD/*", "X:"}});
    ASSERT_TRUE(loadConfig("protection"));
    EXPECT_EQ(driver_.items(),
              (std::vector<Item>{{"/HOME/A/*", "VI:LESS:"}, {"/HOME/C/*", "CAT:"}}));
    EXPECT_EQ(driver_.count(IOCTL_CONTROL_CLEAR_ITEMS), 1u);
    EXPECT_EQ(driver_.count(IOCTL_CONTROL_APPLY_ITEMS), 1u);
    EXPECT_EQ(readWholeFile(eventLog_), "");
}

TEST_F(ConfigLoaderTest, AnItemWithoutProgramsStaysProtected) {
    writeIni("[protection]\n/HOME/SECRET/*=\n/HOME/BLANK/*=   \n");
    ASSERT_TRUE(loadConfig("protection"));
    EXPECT_EQ(driver_.items(),
              (std::vector<Item>{{"/HOME/SECRET/*", "SYSTEM:"}, {"/HOME/BLANK/*", "SYSTEM:"}}));
}

TEST_F(ConfigLoaderTest, NoAcceptableItemLeavesTheDriverEmptyWithoutApplying) {
    for (const char* text :
         {"", "[protection]\n", "[protection]\n/A/*=VI\n/B/*=:\n", "[Advanced]\nDataAlert=NO\n"}) {
        SCOPED_TRACE(text);
        writeIni(text);
        driver_.setItems({{"/OLD/*", "X:"}});
        driver_.clearLog();
        ASSERT_TRUE(loadConfig("protection"));
        EXPECT_TRUE(driver_.items().empty());
        EXPECT_EQ(driver_.count(IOCTL_CONTROL_CLEAR_ITEMS), 1u);
        EXPECT_EQ(driver_.count(IOCTL_CONTROL_APPLY_ITEMS), 0u);
    }
}

TEST_F(ConfigLoaderTest, FailedStartOfTheEngineIsLogged) {
    writeIni("[protection]\n/A/*=VI:\n");
    driver_.setVersion(401);
    EXPECT_FALSE(loadConfig("protection"));
    EXPECT_EQ(readWholeFile(eventLog_), "ERROR\tCorvantisSvc\tFM_INIT failed!\n");
    EXPECT_EQ(driver_.count(IOCTL_CONTROL_CLEAR_ITEMS), 0u);

    // A retry once the driver is ready succeeds.
    driver_.setVersion(VESTRAL_INTERFACE_VERSION);
    EXPECT_TRUE(loadConfig("protection"));
    EXPECT_EQ(driver_.items(), (std::vector<Item>{{"/A/*", "VI:"}}));
}

TEST_F(ConfigLoaderTest, FailedClearOrApplyFailsWithoutAMessage) {
    writeIni("[protection]\n/A/*=VI:\n");
    driver_.injectFault(IOCTL_CONTROL_CLEAR_ITEMS, fake::Fault::Fail);
    EXPECT_FALSE(loadConfig("protection"));
    EXPECT_EQ(driver_.count(IOCTL_CONTROL_APPLY_ITEMS), 0u);

    driver_.clearFaults();
    driver_.injectFault(IOCTL_CONTROL_APPLY_ITEMS, fake::Fault::Fail);
    EXPECT_FALSE(loadConfig("protection"));
    EXPECT_TRUE(driver_.items().empty());
    // The pending table was released: the next item starts a new table.
    const ItemTable* table = FM_AddItems("/B/*", 4, "CAT:", 4);
    ASSERT_NE(table, nullptr);
    EXPECT_EQ(table->Count, 1u);
    EXPECT_EQ(readWholeFile(eventLog_), "");
}

TEST_F(ConfigLoaderTest, SaveWritesTheDriversTableBackUnderTheSameKeys) {
    writeIni("[protection]\n/home/a/*=vi:\n/KEEP/*=CAT:\n\n[VI]\nProcPath=/usr/bin/vi\n");
    ASSERT_TRUE(loadConfig("protection"));
    // An "always allow" answer added a program to the driver's item meanwhile.
    driver_.setItems({{"/HOME/A/*", "VI:LESS:"}, {"/KEEP/*", "CAT:"}, {"/NEW/*", "SYSTEM:"}});
    ASSERT_TRUE(saveItems());
    EXPECT_EQ(readWholeFile(ini_),
              "[protection]\n/home/a/*=VI:LESS:\n/KEEP/*=CAT:\n/NEW/*=SYSTEM:\n\n[VI]\n"
              "ProcPath=/usr/bin/vi\n");
}

TEST_F(ConfigLoaderTest, SaveWithoutATableFromTheDriverLeavesTheFile) {
    const std::string text = "[protection]\n/A/*=VI:\n";
    writeIni(text);
    ASSERT_TRUE(loadConfig("protection"));
    driver_.injectFault(IOCTL_CONTROL_GET_ITEMS, fake::Fault::Fail);
    EXPECT_FALSE(saveItems());
    EXPECT_EQ(readWholeFile(ini_), text);
}

}  // namespace
}  // namespace service
