// What an opener asked for, read from the opener itself while the kernel holds it: fanotify
// reports an open but not its flags, so the flags are taken from the blocked system call
// (/proc/TID/syscall, valid while the thread waits for the filter's answer).
#pragma once

#include <sys/types.h>
#include <cstdint>
#include <optional>
#include <string_view>

namespace vestrald {

enum class OpenIntent {
    Read,     // read-only open, or the open of a program being started
    Write,    // open for writing or truncation of an existing file
    Create,   // open with O_CREAT: the file may be new
    Unknown,  // the flags could not be read (asynchronous open, unknown call)
};

// The operation word of an event entry: CREATE, WRITE, READ or OPEN.
const char* operationWord(OpenIntent intent);

// Interprets the open flags of an open call.
OpenIntent intentFromFlags(uint64_t flags);

// Reads what a thread blocked in an open call asked for, from one line of /proc/TID/syscall
// ("NR ARG1 ... ARG6 SP PC", hexadecimal arguments). `readMemory` fetches the open_how
// record of openat2 from the opener (null: openat2 gives Unknown). Any other content
// ("running", an unknown call) gives Unknown.
using MemoryReader = bool (*)(pid_t tid, uint64_t address, void* out, size_t size);
OpenIntent intentFromSyscallLine(std::string_view line, pid_t tid = 0,
                                 MemoryReader readMemory = nullptr);

// Reads /proc/TID/syscall of a blocked opener and interprets it.
OpenIntent readOpenerIntent(pid_t tid);

}  // namespace vestrald
