// The opener's flags come from the opener: with FAN_REPORT_TID the event names the thread that
// opens, and /proc/TID/syscall shows the system call that thread is blocked in with its
// arguments (open: path, flags; openat: dirfd, path, flags; creat; openat2: the flags live in
// the open_how record, read from the opener's memory; open_by_handle_at: flags third). The
// thread stays in that call until the filter answers, so the line is valid while we decide.
#include "open_intent.h"

#include <fcntl.h>
#include <sys/uio.h>
#include <unistd.h>

#include <charconv>
#include <cstdio>
#include <string>

namespace vestrald {

namespace {

struct SyscallNumbers {
    long open, creat, openat, openat2, openByHandleAt, execve, execveat, uselib;
};

#if defined(__x86_64__)
constexpr SyscallNumbers kCalls{2, 85, 257, 437, 304, 59, 322, 134};
#elif defined(__aarch64__)
constexpr SyscallNumbers kCalls{-1, -1, 56, 437, 265, 221, 281, -1};
#else
constexpr SyscallNumbers kCalls{-1, -1, -1, -1, -1, -1, -1, -1};
#endif

bool parseNumber(std::string_view text, int base, uint64_t& value) {
    if (base == 16 && text.size() > 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X'))
        text.remove_prefix(2);
    if (text.empty())
        return false;
    auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value, base);
    return error == std::errc() && end == text.data() + text.size();
}

bool readProcessMemory(pid_t tid, uint64_t address, void* out, size_t size) {
    iovec local{out, size};
    iovec remote{reinterpret_cast<void*>(address), size};
    return ::process_vm_readv(tid, &local, 1, &remote, 1, 0) == static_cast<ssize_t>(size);
}

}  // namespace

const char* operationWord(OpenIntent intent) {
    switch (intent) {
        case OpenIntent::Read:
            return "READ";
        case OpenIntent::Write:
            return "WRITE";
        case OpenIntent::Create:
            return "CREATE";
        case OpenIntent::Unknown:
            break;
    }
    return "OPEN";
}

OpenIntent intentFromFlags(uint64_t flags) {
    if (flags & O_CREAT)
        return OpenIntent::Create;
    if ((flags & O_ACCMODE) != O_RDONLY || (flags & O_TRUNC))
        return OpenIntent::Write;
    return OpenIntent::Read;
}

OpenIntent intentFromSyscallLine(std::string_view line, pid_t tid, MemoryReader readMemory) {
    while (!line.empty() && (line.back() == '\n' || line.back() == ' '))
        line.remove_suffix(1);
    uint64_t fields[7] = {};
    size_t count = 0;
    bool negative = !line.empty() && line.front() == '-';
    if (negative)
        return OpenIntent::Unknown;  // "-1 SP PC": blocked outside a system call
    while (!line.empty() && count < 7) {
        size_t space = line.find(' ');
        std::string_view word = line.substr(0, space);
        if (!parseNumber(word, count == 0 ? 10 : 16, fields[count]))
            return OpenIntent::Unknown;
        ++count;
        if (space == std::string_view::npos)
            break;
        line.remove_prefix(space + 1);
    }
    if (count < 7)
        return OpenIntent::Unknown;
    long nr = static_cast<long>(fields[0]);
    const uint64_t* arg = fields + 1;
    if (nr < 0)
        return OpenIntent::Unknown;
    if (nr == kCalls.open)
        return intentFromFlags(arg[1]);
    if (nr == kCalls.openat || nr == kCalls.openByHandleAt)
        return intentFromFlags(arg[2]);
    if (nr == kCalls.creat)
        return OpenIntent::Create;
    if (nr == kCalls.execve || nr == kCalls.execveat || nr == kCalls.uselib)
        return OpenIntent::Read;
    if (nr == kCalls.openat2) {
        uint64_t how[3] = {};  // struct open_how: flags, mode, resolve
        if (arg[3] < sizeof(uint64_t) || !readMemory ||
            !readMemory(tid, arg[2], how, sizeof(uint64_t)))
            return OpenIntent::Unknown;
        return intentFromFlags(how[0]);
    }
    return OpenIntent::Unknown;
}

OpenIntent readOpenerIntent(pid_t tid) {
    char path[48];
    std::snprintf(path, sizeof(path), "/proc/%d/syscall", static_cast<int>(tid));
    int fd = ::open(path, O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        return OpenIntent::Unknown;
    char buffer[256];
    ssize_t n = ::read(fd, buffer, sizeof(buffer) - 1);
    ::close(fd);
    if (n <= 0)
        return OpenIntent::Unknown;
    return intentFromSyscallLine(std::string_view(buffer, static_cast<size_t>(n)), tid,
                                 readProcessMemory);
}

}  // namespace vestrald
