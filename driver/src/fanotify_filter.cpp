#include "fanotify_filter.h"

#include <fcntl.h>
#include <sys/fanotify.h>
#include <syslog.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

#include "mount_table.h"

namespace vestrald {

namespace {
// Opens of every kind, program starts included (their events carry FAN_OPEN_EXEC_PERM too).
constexpr uint64_t kWatched = FAN_OPEN_PERM;
}  // namespace

FanotifyFilter::FanotifyFilter(std::vector<std::string> allowedMounts)
    : allowedMounts_(std::move(allowedMounts)) {}

int FanotifyFilter::open() {
    // FAN_UNLIMITED_QUEUE: an overflowing queue would let opens through unseen.
    // FAN_REPORT_TID: the event names the opening thread, whose blocked call shows its flags.
    int fd = ::fanotify_init(FAN_CLASS_CONTENT | FAN_CLOEXEC | FAN_UNLIMITED_QUEUE |
                                 FAN_UNLIMITED_MARKS | FAN_REPORT_TID,
                             O_RDONLY | O_LARGEFILE | O_CLOEXEC);
    if (fd < 0)
        return errno;
    fd_.reset(fd);
    // Renames are reported by file handle; without that, the cache stays off.
    renames_.reset(::fanotify_init(
        FAN_CLASS_NOTIF | FAN_CLOEXEC | FAN_NONBLOCK | FAN_UNLIMITED_QUEUE | FAN_REPORT_FID,
        O_RDONLY | O_CLOEXEC));
    return 0;
}

void FanotifyFilter::renamesSeen() {
    alignas(fanotify_event_metadata) char buffer[16384];
    while (renames_ && ::read(renames_.get(), buffer, sizeof(buffer)) > 0) {
    }
    flushCache();
}

void FanotifyFilter::configure(uint32_t driveMask, bool active) {
    std::vector<std::string> wanted;
    if (active)
        wanted = selectMounts(readMountTable(), driveMask, allowedMounts_);
    std::lock_guard lock(mutex_);
    if (!fd_ || wanted == watched_)
        return;
    bool dropsSome = std::any_of(watched_.begin(), watched_.end(), [&](const std::string& m) {
        return std::find(wanted.begin(), wanted.end(), m) == wanted.end();
    });
    if (dropsSome) {
        // Several mounts may share one file system (one mark): start from none.
        ::fanotify_mark(fd_.get(), FAN_MARK_FLUSH | FAN_MARK_FILESYSTEM, 0, AT_FDCWD, nullptr);
        if (renames_)
            ::fanotify_mark(renames_.get(), FAN_MARK_FLUSH | FAN_MARK_FILESYSTEM, 0, AT_FDCWD,
                            nullptr);
        watched_.clear();
        cacheAllowed_ = true;
    }
    for (const std::string& mount : wanted) {
        if (std::find(watched_.begin(), watched_.end(), mount) != watched_.end())
            continue;
        // The whole file system: a mount mark could be bypassed through a bind mount.
        if (::fanotify_mark(fd_.get(), FAN_MARK_ADD | FAN_MARK_FILESYSTEM, kWatched, AT_FDCWD,
                            mount.c_str()) != 0) {
            syslog(LOG_WARNING, "cannot watch %s: %s", mount.c_str(), std::strerror(errno));
            continue;
        }
        watched_.push_back(mount);
        if (!renames_ || ::fanotify_mark(renames_.get(), FAN_MARK_ADD | FAN_MARK_FILESYSTEM,
                                         FAN_MOVE_SELF, AT_FDCWD, mount.c_str()) != 0) {
            syslog(LOG_NOTICE, "renames on %s cannot be watched: no cache of free files",
                   mount.c_str());
            cacheAllowed_ = false;
        }
    }
}

void FanotifyFilter::flushCache() {
    std::lock_guard lock(mutex_);
    ++generation_;
    if (fd_)
        ::fanotify_mark(fd_.get(), FAN_MARK_FLUSH, 0, AT_FDCWD, nullptr);
}

uint64_t FanotifyFilter::cacheGeneration() const {
    std::lock_guard lock(mutex_);
    return generation_;
}

void FanotifyFilter::cacheFile(int eventFd, uint64_t generation) {
    std::lock_guard lock(mutex_);
    if (!fd_ || !cacheAllowed_ || generation != generation_)
        return;
    // Evictable: the mark does not pin the inode, so the cache cannot grow without bound.
    unsigned flags =
        FAN_MARK_ADD | FAN_MARK_IGNORED_MASK | FAN_MARK_IGNORED_SURV_MODIFY | FAN_MARK_EVICTABLE;
    if (::fanotify_mark(fd_.get(), flags, kWatched, eventFd, nullptr) != 0 && errno == ENOSPC) {
        // The mark limit is reached: start the cache afresh.
        ::fanotify_mark(fd_.get(), FAN_MARK_FLUSH, 0, AT_FDCWD, nullptr);
    }
}

void FanotifyFilter::answer(int eventFd, bool allow) {
    if (!fd_ || eventFd < 0)
        return;
    fanotify_response response{eventFd, allow ? uint32_t{FAN_ALLOW} : uint32_t{FAN_DENY}};
    ssize_t n;
    do {
        n = ::write(fd_.get(), &response, sizeof(response));
    } while (n < 0 && errno == EINTR);
}

std::vector<std::string> FanotifyFilter::watchedMounts() const {
    std::lock_guard lock(mutex_);
    return watched_;
}

}  // namespace vestrald
