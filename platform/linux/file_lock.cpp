#include "platform/file_lock.h"

#include <fcntl.h>
#include <sys/file.h>

#include <cerrno>

namespace platform {

std::optional<FileLock> FileLock::acquire(const std::string& lockPath) {
    UniqueFd fd(::open(lockPath.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0660));
    // A lock file made by another account may be readable only; flock needs no more than that.
    if (!fd && errno == EACCES)
        fd = UniqueFd(::open(lockPath.c_str(), O_RDONLY | O_CLOEXEC));
    if (!fd)
        return std::nullopt;
    while (::flock(fd.get(), LOCK_EX) != 0) {
        if (errno != EINTR)
            return std::nullopt;
    }
    return FileLock(std::move(fd));
}

}  // namespace platform
