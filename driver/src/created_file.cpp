#include "created_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <ctime>

namespace vestrald {

namespace {
constexpr long kFreshSeconds = 2;
}

bool looksJustCreated(int eventFd) {
    struct statx info {};
    if (::statx(eventFd, "", AT_EMPTY_PATH, STATX_BASIC_STATS | STATX_BTIME, &info) != 0)
        return false;
    if (!S_ISREG(info.stx_mode) || info.stx_size != 0)
        return false;
    // Birth time where the file system keeps it, else the change time (set by the creation).
    const statx_timestamp& born = (info.stx_mask & STATX_BTIME) ? info.stx_btime : info.stx_ctime;
    timespec now{};
    ::clock_gettime(CLOCK_REALTIME, &now);
    long age = static_cast<long>(now.tv_sec - born.tv_sec);
    return age >= -1 && age <= kFreshSeconds;
}

bool removeCreatedFile(int eventFd, const std::string& path) {
    struct stat held {
    }, named{};
    if (path.empty() || path.front() != '/')
        return false;
    if (::fstat(eventFd, &held) != 0 || ::lstat(path.c_str(), &named) != 0)
        return false;
    if (held.st_dev != named.st_dev || held.st_ino != named.st_ino)
        return false;
    if (!S_ISREG(named.st_mode) || named.st_size != 0 || named.st_nlink != 1)
        return false;
    return ::unlink(path.c_str()) == 0;
}

}  // namespace vestrald
