// The fanotify group of the daemon. Owns the fanotify descriptor (opened close-on-exec: a
// child that inherited it would keep held openers stuck after the daemon is gone), its
// file-system marks and its cache of ignore marks. The reader thread (FanotifyReader) reads
// events from it; any thread may answer. Closing the descriptor lets every pending open pass.
#pragma once

#include <cstdint>
#include <mutex>
#include <string>
#include <vector>

#include "kernel_filter.h"
#include "platform/unique_fd.h"

namespace vestrald {

class FanotifyFilter : public KernelFilter {
public:
    // `allowedMounts` (when not empty) limits the file systems that may ever be watched.
    explicit FanotifyFilter(std::vector<std::string> allowedMounts);

    // Creates the group. 0, or the errno value of the failure.
    int open();
    int fd() const { return fd_.get(); }

    void configure(uint32_t driveMask, bool active) override;
    void flushCache() override;
    void answer(int eventFd, bool allow) override;

    // The cache generation before a decision; a flush in between voids caching it.
    uint64_t cacheGeneration() const;
    // Never ask again about the file of `eventFd` (an evictable ignore mark on its inode),
    // unless the cache was flushed since `generation`.
    void cacheFile(int eventFd, uint64_t generation);

    std::vector<std::string> watchedMounts() const;

private:
    platform::UniqueFd fd_;
    const std::vector<std::string> allowedMounts_;
    mutable std::mutex mutex_;  // guards the marks below
    std::vector<std::string> watched_;
    uint64_t generation_ = 0;
};

}  // namespace vestrald
