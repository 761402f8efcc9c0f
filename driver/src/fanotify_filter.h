// The fanotify groups of the daemon. Owns the permission group's descriptor (opened
// close-on-exec: a child that inherited it would keep held openers stuck after the daemon is
// gone), its file-system marks and its cache of ignore marks, and a notification group that
// reports renames on the same file systems. The reader thread (FanotifyReader) reads both; any
// thread may answer. Closing the permission descriptor lets every pending open pass.
//
// The cache holds files whose opens need no question. An ignore mark stays on the inode when
// the file is renamed, into a protected folder or to an executable name, so every rename on a
// watched file system drops the whole cache; where renames cannot be watched, nothing is cached.
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
    // The rename notification group (-1 when there is none).
    int renamesFd() const { return renames_.get(); }
    // Reads the pending rename notifications and drops the cache.
    void renamesSeen();

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
    platform::UniqueFd renames_;
    const std::vector<std::string> allowedMounts_;
    mutable std::mutex mutex_;  // guards the marks below
    std::vector<std::string> watched_;
    uint64_t generation_ = 0;
    bool cacheAllowed_ = true;  // every watched file system reports its renames
};

}  // namespace vestrald
