#include "platform/host_name.h"

#include <limits.h>
#include <unistd.h>

#include <vector>

namespace platform {

std::string hostName() {
    std::vector<char> name(HOST_NAME_MAX + 2, '\0');
    if (::gethostname(name.data(), name.size() - 1) != 0)
        return {};
    return std::string(name.data());
}

}  // namespace platform
