#include "exempt_processes.h"

#include <vector>

#include "name_matching.h"
#include "process_info.h"

namespace vestrald {

namespace {
constexpr const char* kPromptProgram = "cvprompt";
constexpr int kMaxAncestors = 64;
}  // namespace

ProcessLookup ProcessLookup::system() {
    return {vestrald::isThreadOf, threadGroupOf, parentOf};
}

ExemptProcesses::ExemptProcesses(pid_t self, ProcessLookup lookup)
    : self_(self), lookup_(std::move(lookup)) {}

void ExemptProcesses::addHolder(pid_t pid) {
    if (pid <= 0)
        return;
    std::lock_guard lock(mutex_);
    ++holders_[pid];
}

void ExemptProcesses::removeHolder(pid_t pid) {
    std::lock_guard lock(mutex_);
    auto it = holders_.find(pid);
    if (it != holders_.end() && --it->second <= 0)
        holders_.erase(it);
}

bool ExemptProcesses::isHolderThread(pid_t tid) const {
    std::vector<pid_t> holders;
    {
        std::lock_guard lock(mutex_);
        if (isHolderLocked(tid))
            return true;
        for (const auto& holder : holders_)
            holders.push_back(holder.first);
    }
    for (pid_t holder : holders) {
        if (lookup_.isThreadOf(holder, tid))
            return true;
    }
    return false;
}

bool ExemptProcesses::isExempt(pid_t tid, const std::string& programPath) const {
    // Every open that reaches the filter passes here: the common answers come from a lookup
    // of the thread in the few exempt processes, not from reading the opener's status.
    if (tid == self_ || lookup_.isThreadOf(self_, tid))
        return true;
    if (isHolderThread(tid))
        return true;
    if (!equalsNoCase(baseName(programPath), kPromptProgram))
        return false;
    pid_t ancestor = lookup_.threadGroup(tid);
    for (int depth = 0; ancestor > 1 && depth < kMaxAncestors; ++depth) {
        ancestor = lookup_.parent(ancestor);
        std::lock_guard lock(mutex_);
        if (isHolderLocked(ancestor))
            return true;
    }
    return false;
}

}  // namespace vestrald
