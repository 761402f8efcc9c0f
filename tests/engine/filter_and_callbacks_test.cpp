// FM_SetFilter and the callback setters.
#include <cstring>

#include "engine_fixture.h"

namespace enginetest {
namespace {

void eventA(const EventRecord*) {}

TEST_F(EngineTest, SetFilterSendsUpperCasedPatternsAndLowSwitchBytes) {
    ASSERT_EQ(engine::setFilter("*", "", "c:\\docs\\*.txt", "\xe4x", 0x101, 0x7FFFFF02), 1);
    auto filter = driver.filter();
    ASSERT_TRUE(filter);
    EXPECT_STREQ(filter->Pattern1, "*");
    EXPECT_STREQ(filter->Pattern2, "");
    EXPECT_STREQ(filter->Pattern3, "C:\\DOCS\\*.TXT");
    EXPECT_STREQ(filter->Pattern4, "\xe4X");
    EXPECT_EQ(filter->Switch1, 1);
    EXPECT_EQ(filter->Switch2, 2);
    EXPECT_EQ(driver.log().back().input.size(), sizeof(MonitorFilter));
}

// 255 characters fit a field with their zero; 256 do not and are refused rather than cut, and a
// null pattern is refused too: nothing is sent and the engine's block keeps its last patterns.
TEST_F(EngineTest, SetFilterRefusesPatternsThatDoNotFit) {
    const std::string fits(255, 'a'), tooLong(256, 'a');
    ASSERT_EQ(engine::setFilter(fits.c_str(), "", "*", "", 1, 1), 1);
    EXPECT_EQ(std::string(driver.filter()->Pattern1), std::string(255, 'A'));

    EXPECT_EQ(engine::setFilter("*", "", "*", tooLong.c_str(), 1, 1), 0);
    EXPECT_EQ(engine::setFilter(nullptr, "", "*", "", 1, 1), 0);
    EXPECT_EQ(engine::setFilter("*", "", "*", nullptr, 1, 1), 0);
    EXPECT_EQ(driver.count(IOCTL_VESTRAL_SET_FILTER), 1u);
    auto& state = engine::EngineState::instance();
    std::lock_guard lock(state.filterMutex);
    EXPECT_EQ(std::string(state.filter.Pattern1), std::string(255, 'A'));
}

TEST_F(EngineTest, SetFilterOpensTheMonitorWhenNeededAndReportsFailure) {
    EXPECT_EQ(engine::setFilter("*", "", "*", "", 1, 1), 1);  // no FM_Init before
    EXPECT_EQ(driver.connectionsAccepted(VESTRAL_MONITOR_DEVICE), 1);
    driver.injectFault(IOCTL_VESTRAL_SET_FILTER, fake::Fault::Fail, EIO, 1);
    EXPECT_EQ(engine::setFilter("*", "", "*", "", 1, 1), 0);
    driver.stop();
    EXPECT_EQ(engine::setFilter("*", "", "*", "", 1, 1), 0);
}

TEST_F(EngineTest, CallbackSettersReturnWhatTheyStore) {
    auto& state = engine::EngineState::instance();
    int anything = 0;
    EXPECT_EQ(engine::setCallBackFunc(&anything), &anything);
    EXPECT_EQ(engine::setObjectEventFunc(eventA), eventA);
    EXPECT_EQ(engine::setWarningEventFunc(nullptr), nullptr);
    EXPECT_EQ(state.generalCallback.load(), &anything);
    EXPECT_EQ(state.objectCallback.load(), eventA);
    EXPECT_EQ(state.warningCallback.load(), nullptr);
    EXPECT_TRUE(driver.log().empty());
}

}  // namespace
}  // namespace enginetest
