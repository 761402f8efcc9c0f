#include "platform/program_dir.h"

#include <unistd.h>

#include <cstdlib>
#include <vector>

namespace platform {

std::string programDirectory() {
    if (const char* dir = std::getenv("CORVANTIS_PROGRAM_DIR"); dir && *dir) {
        std::string result(dir);
        if (result.back() != '/') result += '/';
        return result;
    }
    std::vector<char> path(4096);
    ssize_t n = ::readlink("/proc/self/exe", path.data(), path.size() - 1);
    if (n <= 0) return "./";
    std::string exe(path.data(), static_cast<size_t>(n));
    size_t slash = exe.rfind('/');
    return slash == std::string::npos ? "./" : exe.substr(0, slash + 1);
}

}  // namespace platform
