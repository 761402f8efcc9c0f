#include "platform/system_error.h"

#include <cerrno>
#include <cstring>

namespace platform {

int lastSystemError() {
    return errno;
}

std::string systemErrorText(int code) {
    char buffer[256];
    // GNU strerror_r may return a static string instead of filling the buffer.
    const char* text = ::strerror_r(code, buffer, sizeof(buffer));
    return text ? text : "Unknown error";
}

int invalidHandleError() {
    return EBADF;
}

bool isNtFamily() {
    return true;
}

}  // namespace platform
