#include "socket_io.h"

#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>

namespace platform::detail {

size_t readFull(int fd, void* buffer, size_t size, int* error) {
    auto* bytes = static_cast<char*>(buffer);
    size_t done = 0;
    *error = 0;
    while (done < size) {
        ssize_t n = ::recv(fd, bytes + done, size - done, 0);
        if (n > 0) {
            done += static_cast<size_t>(n);
        } else if (n == 0) {
            break;
        } else if (errno != EINTR) {
            *error = errno;
            break;
        }
    }
    return done;
}

bool writeFull(int fd, const void* buffer, size_t size, int* error) {
    const auto* bytes = static_cast<const char*>(buffer);
    size_t done = 0;
    while (done < size) {
        ssize_t n = ::send(fd, bytes + done, size - done, MSG_NOSIGNAL);
        if (n >= 0) {
            done += static_cast<size_t>(n);
        } else if (errno != EINTR) {
            *error = errno;
            return false;
        }
    }
    return true;
}

}  // namespace platform::detail
