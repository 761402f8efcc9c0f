#include "platform/file_store.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <ctime>

#include "platform/unique_fd.h"

namespace platform {
namespace {

int64_t toNanoseconds(const timespec& ts) {
    return static_cast<int64_t>(ts.tv_sec) * 1'000'000'000 + ts.tv_nsec;
}

FileIdentity identityOf(const struct stat& st) {
    return FileIdentity{static_cast<uint64_t>(st.st_dev), static_cast<uint64_t>(st.st_ino),
                        static_cast<uint64_t>(st.st_size), toNanoseconds(st.st_mtim)};
}

bool meansMissing(int error) {
    return error == ENOENT || error == ENOTDIR;
}

std::string folderOf(const std::string& path) {
    size_t slash = path.rfind('/');
    if (slash == std::string::npos)
        return ".";
    return slash == 0 ? "/" : path.substr(0, slash);
}

bool writeAll(int fd, std::string_view data) {
    while (!data.empty()) {
        ssize_t n = ::write(fd, data.data(), data.size());
        if (n < 0) {
            if (errno == EINTR)
                continue;
            return false;
        }
        data.remove_prefix(static_cast<size_t>(n));
    }
    return true;
}

// A modification time after `previous`, from the precise clock (file systems stamp files from a
// coarse clock, which would let two quick replacements look alike).
timespec laterThan(const timespec* previous) {
    timespec now{};
    ::clock_gettime(CLOCK_REALTIME, &now);
    if (previous && toNanoseconds(now) <= toNanoseconds(*previous)) {
        now = *previous;
        if (++now.tv_nsec == 1'000'000'000) {
            now.tv_nsec = 0;
            ++now.tv_sec;
        }
    }
    return now;
}

}  // namespace

std::optional<FileIdentity> fileIdentity(const std::string& path) {
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0)
        return std::nullopt;
    return identityOf(st);
}

FileSnapshot readFileSnapshot(const std::string& path) {
    FileSnapshot snapshot;
    UniqueFd fd(::open(path.c_str(), O_RDONLY | O_CLOEXEC));
    if (!fd) {
        snapshot.status = meansMissing(errno) ? FileReadStatus::Missing : FileReadStatus::Failed;
        return snapshot;
    }
    snapshot.status = FileReadStatus::Failed;
    struct stat st {};
    if (::fstat(fd.get(), &st) != 0 || !S_ISREG(st.st_mode))
        return snapshot;
    std::string content;
    content.reserve(static_cast<size_t>(st.st_size));
    char buffer[65536];
    for (;;) {
        ssize_t n = ::read(fd.get(), buffer, sizeof buffer);
        if (n < 0) {
            if (errno == EINTR)
                continue;
            return snapshot;
        }
        if (n == 0)
            break;
        content.append(buffer, static_cast<size_t>(n));
    }
    snapshot.status = FileReadStatus::Ok;
    snapshot.content = std::move(content);
    snapshot.identity = identityOf(st);
    return snapshot;
}

std::optional<FileIdentity> replaceFileAtomically(const std::string& path,
                                                  std::string_view content) {
    struct stat old {};
    const bool hadOld = ::stat(path.c_str(), &old) == 0;

    std::string temp = path + ".XXXXXX";
    UniqueFd fd(::mkostemp(temp.data(), O_CLOEXEC));
    if (!fd)
        return std::nullopt;
    bool renamed = false;
    struct TempRemover {
        const std::string& name;
        const bool& done;
        ~TempRemover() {
            if (!done)
                ::unlink(name.c_str());
        }
    } remover{temp, renamed};

    if (!writeAll(fd.get(), content))
        return std::nullopt;
    if (::fchmod(fd.get(), hadOld ? (old.st_mode & 07777) : 0660) != 0)
        return std::nullopt;
    if (hadOld && (old.st_uid != ::geteuid() || old.st_gid != ::getegid())) {
        // Root keeps owner and group; a member of the file's group at least keeps the group.
        if (::fchown(fd.get(), old.st_uid, old.st_gid) != 0)
            (void)::fchown(fd.get(), -1, old.st_gid);
    }
    const timespec times[2] = {laterThan(nullptr), laterThan(hadOld ? &old.st_mtim : nullptr)};
    if (::futimens(fd.get(), times) != 0)
        return std::nullopt;
    if (::fsync(fd.get()) != 0)
        return std::nullopt;
    struct stat written {};
    if (::fstat(fd.get(), &written) != 0)
        return std::nullopt;
    fd.reset();
    if (::rename(temp.c_str(), path.c_str()) != 0)
        return std::nullopt;
    renamed = true;
    // Make the rename itself durable; a failure here does not undo the replacement.
    if (UniqueFd dir(::open(folderOf(path).c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC)); dir) {
        (void)::fsync(dir.get());
    }
    return identityOf(written);
}

}  // namespace platform
