#include "platform/user_output.h"

#include <syslog.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

namespace platform {

void showErrorBox(std::string_view title, std::string_view text) {
    std::string line(title);
    line += ": ";
    line += text;
    std::fprintf(stderr, "%s\n", line.c_str());
    ::syslog(LOG_ERR, "%s", line.c_str());
}

void debugOutput(std::string_view text) {
    std::string line(text);
    const char* debug = std::getenv("CORVANTIS_DEBUG");
    if (debug && std::strcmp(debug, "1") == 0) {
        std::fputs(line.c_str(), stderr);
    } else {
        ::syslog(LOG_DEBUG, "%s", line.c_str());
    }
}

}  // namespace platform
