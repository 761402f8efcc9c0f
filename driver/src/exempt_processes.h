// The processes whose opens the filter never holds, so that it cannot deadlock on itself: the
// daemon, every process holding one of its devices open (peer credentials of the connection),
// and the prompt program ("cvprompt") started below such a process. Guarded by its own mutex.
#pragma once

#include <sys/types.h>
#include <functional>
#include <map>
#include <mutex>
#include <string>

namespace vestrald {

struct ProcessLookup {
    std::function<bool(pid_t, pid_t)> isThreadOf;  // (process, thread id): a thread of it?
    std::function<pid_t(pid_t)> threadGroup;       // thread id -> process id (0 unknown)
    std::function<pid_t(pid_t)> parent;            // process id -> parent process id (0 unknown)
    static ProcessLookup system();
};

class ExemptProcesses {
  public:
    explicit ExemptProcesses(pid_t self, ProcessLookup lookup = ProcessLookup::system());

    void addHolder(pid_t pid);     // one more device connection of this process
    void removeHolder(pid_t pid);  // one connection fewer

    // True when the opening thread `tid`, running `programPath`, must never be held.
    bool isExempt(pid_t tid, const std::string& programPath) const;

  private:
    bool isHolderLocked(pid_t pid) const { return holders_.count(pid) != 0; }
    bool isHolderThread(pid_t tid) const;

    const pid_t self_;
    const ProcessLookup lookup_;
    mutable std::mutex mutex_;
    std::map<pid_t, int> holders_;
};

}  // namespace vestrald
