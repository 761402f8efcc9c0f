#include "service/dsd_config.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <optional>
#include <string>

#include "temp_dir.h"

namespace service {
namespace {

struct SettingsCase {
    const char* name;
    std::optional<std::string> file;  // nothing: no configuration file
    bool dataAlert, dataProtect, tjDfd;
};

class LoadSettingsTest : public testing::TestWithParam<SettingsCase> {
  protected:
    void SetUp() override { ::setenv("CORVANTIS_PROGRAM_DIR", dir_.path().c_str(), 1); }
    void TearDown() override { ::unsetenv("CORVANTIS_PROGRAM_DIR"); }
    TempDir dir_;
};

TEST_P(LoadSettingsTest, ComparesExactly) {
    const SettingsCase& c = GetParam();
    if (c.file)
        writeWholeFile(dir_.file("Corvantis.ini"), *c.file);
    // Start from the opposite of what is expected, so every field must be set.
    DSDConfig = DSDSettings{!c.dataAlert, !c.dataProtect, !c.tjDfd};
    loadSettings();
    EXPECT_EQ(DSDConfig.DataAlert, c.dataAlert);
    EXPECT_EQ(DSDConfig.DataProtect, c.dataProtect);
    EXPECT_EQ(DSDConfig.TjDfd, c.tjDfd);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, LoadSettingsTest,
    testing::Values(
        SettingsCase{"NoFile", std::nullopt, true, true, true},
        SettingsCase{"NoAdvancedSection", "[protection]\n/A/*=VI:\n", true, true, true},
        SettingsCase{"UpperCase", "[Advanced]\nDataAlert=NO\nDataProtect=NO\nTjDfd=NO\n", false,
                     false, false},
        SettingsCase{"LowerCaseIsNotTheSwitch",
                     "[advanced]\ndataalert=yes\nDATAPROTECT=no\ntjdfd=no\n", false, true, true},
        SettingsCase{"BlanksAroundAreNotPartOfTheValue",
                     "[Advanced]\r\nDataAlert = YES \r\nTjDfd =\tNO\r\n", true, true, false},
        SettingsCase{"OtherTextMeansTheDefaultMeaning",
                     "[Advanced]\nDataAlert=Y\nDataProtect=\nTjDfd=OFF\n", false, true, true}),
    [](const testing::TestParamInfo<SettingsCase>& info) { return info.param.name; });

}  // namespace
}  // namespace service
