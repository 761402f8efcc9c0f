#include "platform/program_search.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>

#include "platform/program_dir.h"

namespace platform {

namespace {

std::optional<std::string> candidate(std::string_view folder, std::string_view name) {
    std::string path(folder.empty() ? std::string_view(".") : folder);
    if (path.back() != '/')
        path += '/';
    path += name;
    if (path.size() > kMaxSearchPath)
        return std::nullopt;
    struct stat info {};
    if (::stat(path.c_str(), &info) != 0 || !S_ISREG(info.st_mode))
        return std::nullopt;
    if (::access(path.c_str(), X_OK) != 0)
        return std::nullopt;
    return path;
}

}  // namespace

std::optional<std::string> findProgramFile(std::string_view name, std::string_view programDir,
                                           std::string_view searchPath) {
    if (name.empty() || name.find('/') != std::string_view::npos)
        return std::nullopt;
    if (!programDir.empty()) {
        if (auto found = candidate(programDir, name))
            return found;
    }
    while (!searchPath.empty()) {
        size_t colon = searchPath.find(':');
        if (auto found = candidate(searchPath.substr(0, colon), name))
            return found;
        if (colon == std::string_view::npos)
            break;
        searchPath.remove_prefix(colon + 1);
        if (searchPath.empty())
            return candidate("", name);  // a trailing ':' names the current folder
    }
    return std::nullopt;
}

std::optional<std::string> findProgramFile(std::string_view name) {
    const char* path = std::getenv("PATH");
    return findProgramFile(name, programDirectory(), path ? path : "/usr/local/bin:/usr/bin:/bin");
}

}  // namespace platform
