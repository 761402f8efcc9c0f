// Debugger output: diagnostic texts that nothing in the system reads back.
#pragma once

#include <string_view>

namespace platform {

// Writes `text` to syslog at LOG_DEBUG, or to standard error when CORVANTIS_DEBUG=1.
void debugOutput(std::string_view text);

}  // namespace platform
