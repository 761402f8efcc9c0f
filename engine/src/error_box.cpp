#include "error_box.h"

#include "platform/system_error.h"

namespace engine {

namespace {

// What a 256-character buffer keeps of a text: the first 255 characters and the zero.
std::string cutToBuffer(std::string text) {
    if (text.size() > kErrorBoxBuffer - 1)
        text.resize(kErrorBoxBuffer - 1);
    return text;
}

}  // namespace

std::string formatErrorBoxText(std::string_view message, int errorCode, bool ntFamily) {
    std::string text =
        cutToBuffer(std::string(message) + ": " + platform::systemErrorText(errorCode));
    if (errorCode == platform::invalidHandleError() && ntFamily) {
        text = cutToBuffer(text +
                           "\nMake sure that you are an administrator and that Lintrel is "
                           "located on a local drive.");
    }
    return text;
}

void showErrorBox(const Environment& env, std::string_view message, int errorCode, bool ntFamily) {
    if (env.errorBox)
        env.errorBox(kErrorBoxTitle, formatErrorBoxText(message, errorCode, ntFamily));
}

}  // namespace engine
