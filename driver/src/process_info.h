// What the filter reads about other processes from /proc. Every function works on thread ids
// as well as process ids and returns an empty value when the process is gone.
#pragma once

#include <sys/types.h>
#include <string>

namespace vestrald {

// Full path of the program a process runs (/proc/PID/exe), without a " (deleted)" suffix.
std::string programPathOf(pid_t pid);
// The process (thread group) a thread belongs to; 0 when unknown.
pid_t threadGroupOf(pid_t tid);
// True when `tid` is a thread of process `pid` (/proc/PID/task/TID exists).
bool isThreadOf(pid_t pid, pid_t tid);
// The parent process; 0 when unknown.
pid_t parentOf(pid_t pid);
// The path a descriptor refers to (/proc/self/fd/N).
std::string pathOfDescriptor(int fd);

}  // namespace vestrald
