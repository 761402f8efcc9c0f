#include "fanotify_reader.h"

#include <poll.h>
#include <sys/eventfd.h>
#include <sys/fanotify.h>
#include <unistd.h>

#include <cerrno>

#include "process_info.h"

namespace vestrald {

FanotifyReader::FanotifyReader(FanotifyFilter& filter, FilterDriver& driver,
                               ExemptProcesses& exempt)
    : filter_(filter), driver_(driver), exempt_(exempt) {}

FanotifyReader::~FanotifyReader() {
    stop();
}

bool FanotifyReader::start() {
    wake_.reset(::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK));
    if (!wake_)
        return false;
    thread_ = std::thread([this] { run(); });
    return true;
}

void FanotifyReader::stop() {
    if (!thread_.joinable())
        return;
    uint64_t one = 1;
    [[maybe_unused]] ssize_t n = ::write(wake_.get(), &one, sizeof(one));
    thread_.join();
}

void FanotifyReader::run() {
    alignas(fanotify_event_metadata) char buffer[64 * 1024];
    pollfd fds[3] = {{filter_.fd(), POLLIN, 0},
                     {wake_.get(), POLLIN, 0},
                     {filter_.renamesFd(), POLLIN, 0}};  // a negative fd is skipped by poll
    for (;;) {
        if (::poll(fds, 3, -1) < 0) {
            if (errno == EINTR)
                continue;
            return;
        }
        if (fds[1].revents)
            return;
        if (fds[2].revents & POLLIN)
            filter_.renamesSeen();
        if (!(fds[0].revents & POLLIN))
            continue;
        ssize_t n = ::read(filter_.fd(), buffer, sizeof(buffer));
        if (n < 0) {
            if (errno == EINTR || errno == EAGAIN)
                continue;
            return;
        }
        auto* event = reinterpret_cast<fanotify_event_metadata*>(buffer);
        for (; FAN_EVENT_OK(event, n); event = FAN_EVENT_NEXT(event, n)) {
            if (event->mask & FAN_Q_OVERFLOW) {
                driver_.noteOverflow(++overflows_);
                continue;
            }
            if (event->fd < 0)
                continue;
            if (event->vers != FANOTIFY_METADATA_VERSION) {
                filter_.answer(event->fd, true);
                ::close(event->fd);
                continue;
            }
            handle(event->fd, event->pid, event->mask);
        }
    }
}

void FanotifyReader::handle(int fd, pid_t tid, uint64_t mask) {
    // Owns the answer from here on: dropped unanswered on any path, the open is denied.
    PermissionEvent event(fd, &filter_);
    if (!(mask & (FAN_OPEN_PERM | FAN_OPEN_EXEC_PERM))) {
        event.answer(true);
        return;
    }
    try {
        std::string program = programPathOf(tid);
        if (exempt_.isExempt(tid, program)) {
            event.answer(true);
            return;
        }
        uint64_t generation = filter_.cacheGeneration();
        OpenEvent open;
        open.tid = tid;
        open.event = std::move(event);
        open.path = pathOfDescriptor(fd);
        open.programPath = std::move(program);
        open.readIntent = [tid] { return readOpenerIntent(tid); };
        open.at = SteadyClock::now();
        switch (driver_.onOpen(open)) {
            case OpenVerdict::Allow:
                open.event.answer(true);
                break;
            case OpenVerdict::AllowAndCache:
                open.event.answer(true);
                filter_.cacheFile(fd, generation);
                break;
            case OpenVerdict::Taken:
                break;
        }
    } catch (...) {
        // The event's destructor denies whatever is still unanswered.
    }
}

}  // namespace vestrald
