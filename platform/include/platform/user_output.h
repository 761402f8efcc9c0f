// Where the engine's few user-facing texts go when it has no window of its own: the message box
// of a start-up error, and progress texts meant for a debugger.
#pragma once

#include <string_view>

namespace platform {

// An error message box without owner: written to standard error and to syslog (LOG_ERR) as
// "title: text".
void showErrorBox(std::string_view title, std::string_view text);

// Debugger output: syslog at LOG_DEBUG, or standard error when CORVANTIS_DEBUG=1.
void debugOutput(std::string_view text);

}  // namespace platform
