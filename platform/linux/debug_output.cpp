#include "platform/debug_output.h"

#include <syslog.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

namespace platform {

void debugOutput(std::string_view text) {
    const char* debug = std::getenv("CORVANTIS_DEBUG");
    if (debug && std::strcmp(debug, "1") == 0) {
        std::fwrite(text.data(), 1, text.size(), stderr);
        return;
    }
    std::string line(text);
    ::syslog(LOG_DEBUG, "%s", line.c_str());
}

}  // namespace platform
