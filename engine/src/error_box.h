// The engine's error box for start-up failures: the given message, ": ", and the system's text
// for the error code, formed in 256 characters.
#pragma once

#include <string>
#include <string_view>

#include "engine_environment.h"

namespace engine {

inline constexpr const char* kErrorBoxTitle = "Corvantis";
inline constexpr size_t kErrorBoxBuffer = 256;  // characters, the terminating NUL included

// "message: system text", cut to fit the buffer. For an invalid-handle error on the supported
// system family the whole text is taken again into a hint about rights and local drives.
std::string formatErrorBoxText(std::string_view message, int errorCode, bool ntFamily);

void showErrorBox(const Environment& env, std::string_view message, int errorCode, bool ntFamily);

}  // namespace engine
