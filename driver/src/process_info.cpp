#include "process_info.h"

#include <fcntl.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string_view>

namespace vestrald {

namespace {

std::string readLink(const char* path) {
    char buffer[4096];
    ssize_t n = ::readlink(path, buffer, sizeof(buffer));
    if (n <= 0 || n == static_cast<ssize_t>(sizeof(buffer)))
        return {};
    return std::string(buffer, static_cast<size_t>(n));
}

// Reads a small /proc file whole; empty on failure.
std::string readSmallFile(const char* path) {
    int fd = ::open(path, O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        return {};
    char buffer[2048];
    ssize_t n = ::read(fd, buffer, sizeof(buffer) - 1);
    ::close(fd);
    return n > 0 ? std::string(buffer, static_cast<size_t>(n)) : std::string();
}

pid_t statusField(pid_t pid, std::string_view key) {
    char path[48];
    std::snprintf(path, sizeof(path), "/proc/%d/status", static_cast<int>(pid));
    std::string status = readSmallFile(path);
    size_t at = status.find(key);
    if (at == std::string::npos)
        return 0;
    return static_cast<pid_t>(std::strtol(status.c_str() + at + key.size(), nullptr, 10));
}

}  // namespace

std::string programPathOf(pid_t pid) {
    char path[48];
    std::snprintf(path, sizeof(path), "/proc/%d/exe", static_cast<int>(pid));
    std::string program = readLink(path);
    constexpr std::string_view kDeleted = " (deleted)";
    if (program.size() > kDeleted.size() && program.ends_with(kDeleted))
        program.resize(program.size() - kDeleted.size());
    return program;
}

pid_t threadGroupOf(pid_t tid) {
    return statusField(tid, "\nTgid:");
}

pid_t parentOf(pid_t pid) {
    return statusField(pid, "\nPPid:");
}

bool isThreadOf(pid_t pid, pid_t tid) {
    char path[64];
    std::snprintf(path, sizeof(path), "/proc/%d/task/%d", static_cast<int>(pid),
                  static_cast<int>(tid));
    return ::access(path, F_OK) == 0;
}

std::string pathOfDescriptor(int fd) {
    char path[48];
    std::snprintf(path, sizeof(path), "/proc/self/fd/%d", fd);
    return readLink(path);
}

}  // namespace vestrald
