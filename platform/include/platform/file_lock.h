// An exclusive advisory lock between processes, held on a lock file for as long as the object
// lives. The operating system releases it when the holder dies, so a crash never leaves it held.
#pragma once

#include <optional>
#include <string>

#include "platform/unique_fd.h"

namespace platform {

class FileLock {
  public:
    // Opens (creating when needed, mode 0660) `lockPath` and waits until the lock is ours.
    // Nothing when the lock file cannot be opened or locked.
    static std::optional<FileLock> acquire(const std::string& lockPath);

    FileLock(FileLock&&) = default;
    FileLock& operator=(FileLock&&) = default;

  private:
    explicit FileLock(UniqueFd fd) : fd_(std::move(fd)) {}
    UniqueFd fd_;  // closing it releases the lock
};

}  // namespace platform
