// The text of the engine's error box.
#include <gtest/gtest.h>

#include <cerrno>

#include "error_box.h"
#include "platform/system_error.h"

namespace {

TEST(ErrorBox, TextIsMessageColonSystemText) {
    EXPECT_EQ(engine::formatErrorBoxText("error int Add item1!", ENOMEM, true),
              "error int Add item1!: " + platform::systemErrorText(ENOMEM));
}

TEST(ErrorBox, InvalidHandleAddsTheHintOnlyOnTheSupportedFamily) {
    const int invalid = platform::invalidHandleError();
    const std::string base = "Please run in nt!: " + platform::systemErrorText(invalid);
    EXPECT_EQ(engine::formatErrorBoxText("Please run in nt!", invalid, true),
              base +
                  "\nMake sure that you are an administrator and that Lintrel is located on a "
                  "local drive.");
    EXPECT_EQ(engine::formatErrorBoxText("Please run in nt!", invalid, false), base);
}

TEST(ErrorBox, LongTextsAreCutToTheBuffer) {
    const std::string message(300, 'm');
    EXPECT_EQ(engine::formatErrorBoxText(message, ENOMEM, true), std::string(255, 'm'));
    std::string hinted =
        engine::formatErrorBoxText(std::string(200, 'm'), platform::invalidHandleError(), true);
    EXPECT_EQ(hinted.size(), 255u);
    EXPECT_EQ(hinted.find(std::string(200, 'm') + ": "), 0u);
}

}  // namespace
