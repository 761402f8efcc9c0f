#include "platform/shareable_event.h"

#include <poll.h>
#include <sys/eventfd.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>

namespace platform {

std::optional<ShareableEvent> ShareableEvent::create() {
    UniqueFd fd(::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK));
    if (!fd)
        return std::nullopt;
    return ShareableEvent(std::move(fd));
}

bool ShareableEvent::set() {
    uint64_t one = 1;
    ssize_t n;
    do {
        n = ::write(fd_.get(), &one, sizeof(one));
    } while (n < 0 && errno == EINTR);
    // A full counter (EAGAIN) means the event is set already.
    return n == sizeof(one) || (n < 0 && errno == EAGAIN);
}

bool ShareableEvent::wait(std::chrono::milliseconds timeout) {
    auto deadline = std::chrono::steady_clock::now() + timeout;
    for (;;) {
        auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
            deadline - std::chrono::steady_clock::now());
        pollfd waiter{fd_.get(), POLLIN, 0};
        int rc = ::poll(&waiter, 1, left.count() > 0 ? static_cast<int>(left.count()) : 0);
        if (rc < 0 && errno == EINTR)
            continue;
        if (rc <= 0)
            return false;
        uint64_t count = 0;
        // Reading the counter clears it: one wake-up per wait, however often it was set.
        if (::read(fd_.get(), &count, sizeof(count)) == sizeof(count))
            return true;
        if (errno != EAGAIN && errno != EINTR)
            return false;
        // Another reader took it first; wait on for what is left of the time-out.
        if (std::chrono::steady_clock::now() >= deadline)
            return false;
    }
}

}  // namespace platform
