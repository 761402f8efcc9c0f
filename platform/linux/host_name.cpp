#include "platform/host_name.h"

#include <unistd.h>

#include <climits>

namespace platform {

std::string localHostName() {
    char name[HOST_NAME_MAX + 1] = {};
    if (::gethostname(name, sizeof(name) - 1) != 0 || name[0] == '\0')
        return "localhost";
    std::string result(name);
    for (char c : result) {
        if (c <= ' ' || c > '~')
            return "localhost";
    }
    return result;
}

}  // namespace platform
