#include "exempt_processes.h"

#include "name_matching.h"
#include "process_info.h"

namespace vestrald {

namespace {
constexpr const char* kPromptProgram = "cvprompt";
constexpr int kMaxAncestors = 64;
}  // namespace

ProcessLookup ProcessLookup::system() { return {threadGroupOf, parentOf}; }

ExemptProcesses::ExemptProcesses(pid_t self, ProcessLookup lookup)
    : self_(self), lookup_(std::move(lookup)) {}

void ExemptProcesses::addHolder(pid_t pid) {
    if (pid <= 0) return;
    std::lock_guard lock(mutex_);
    ++holders_[pid];
}

void ExemptProcesses::removeHolder(pid_t pid) {
    std::lock_guard lock(mutex_);
    auto it = holders_.find(pid);
    if (it != holders_.end() && --it->second <= 0) holders_.erase(it);
}

bool ExemptProcesses::isExempt(pid_t tid, const std::string& programPath) const {
    if (tid == self_) return true;
    pid_t process = lookup_.threadGroup(tid);
    if (process == 0) process = tid;
    if (process == self_) return true;
    {
        std::lock_guard lock(mutex_);
        if (holders_.empty()) return false;
        if (isHolderLocked(process)) return true;
    }
    if (!equalsNoCase(baseName(programPath), kPromptProgram)) return false;
    pid_t ancestor = process;
    for (int depth = 0; depth < kMaxAncestors; ++depth) {
        ancestor = lookup_.parent(ancestor);
        if (ancestor <= 1) return false;
        std::lock_guard lock(mutex_);
        if (isHolderLocked(ancestor)) return true;
    }
    return false;
}

}  // namespace vestrald
