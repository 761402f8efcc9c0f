#include "platform/device_server.h"

#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "socket_io.h"

namespace platform::device {

UniqueFd listenOnDevice(const std::string& path, unsigned mode, int* error) {
    auto fail = [error](int code) {
        if (error) *error = code;
        return UniqueFd();
    };
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    if (path.empty() || path.size() >= sizeof(address.sun_path)) return fail(ENAMETOOLONG);
    std::memcpy(address.sun_path, path.c_str(), path.size() + 1);

    UniqueFd socket(::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0));
    if (!socket) return fail(errno);
    ::unlink(path.c_str());
    // Bind under a restrictive umask so the socket never exists with a wider mode.
    mode_t old = ::umask(0177);
    int rc = ::bind(socket.get(), reinterpret_cast<sockaddr*>(&address), sizeof(address));
    ::umask(old);
    if (rc != 0) return fail(errno);
    if (::chmod(path.c_str(), mode) != 0 || ::listen(socket.get(), 64) != 0) {
        int saved = errno;
        ::unlink(path.c_str());
        return fail(saved);
    }
    if (error) *error = 0;
    return socket;
}

namespace {

// Reads the request header with recvmsg so that a descriptor riding on its first byte is kept.
ReadResult readHeader(int fd, Request& request) {
    auto* bytes = reinterpret_cast<char*>(&request.header);
    size_t done = 0;
    while (done < sizeof(request.header)) {
        iovec part{bytes + done, sizeof(request.header) - done};
        alignas(cmsghdr) char control[CMSG_SPACE(sizeof(int) * 4)] = {};
        msghdr message{};
        message.msg_iov = &part;
        message.msg_iovlen = 1;
        message.msg_control = control;
        message.msg_controllen = sizeof(control);
        ssize_t n = ::recvmsg(fd, &message, MSG_CMSG_CLOEXEC);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return done == 0 ? ReadResult::Closed : ReadResult::Malformed;
        for (cmsghdr* c = CMSG_FIRSTHDR(&message); c; c = CMSG_NXTHDR(&message, c)) {
            if (c->cmsg_level != SOL_SOCKET || c->cmsg_type != SCM_RIGHTS) continue;
            size_t count = (c->cmsg_len - CMSG_LEN(0)) / sizeof(int);
            for (size_t i = 0; i < count; ++i) {
                int passed;
                std::memcpy(&passed, CMSG_DATA(c) + i * sizeof(int), sizeof(int));
                if (!request.passedFd) {
                    request.passedFd.reset(passed);
                } else {
                    ::close(passed);  // one descriptor per request; extras are dropped
                }
            }
        }
        if (message.msg_flags & MSG_CTRUNC) return ReadResult::Malformed;
        done += static_cast<size_t>(n);
    }
    return ReadResult::Ok;
}

}  // namespace

ReadResult readRequest(int fd, Request& request) {
    request.passedFd.reset();
    request.input.clear();
    ReadResult result = readHeader(fd, request);
    if (result != ReadResult::Ok) return result;
    const RequestHeader& h = request.header;
    if (h.magic != kMagic || h.inLen > kMaxPayload || h.outLen > kMaxPayload)
        return ReadResult::Malformed;
    request.input.resize(h.inLen);
    int error = 0;
    if (h.inLen && detail::readFull(fd, request.input.data(), h.inLen, &error) != h.inLen)
        return ReadResult::Malformed;
    return ReadResult::Ok;
}

bool sendReply(int fd, bool success, uint32_t error, const void* out, uint32_t returned) {
    ReplyHeader reply{success ? 1u : 0u, out ? returned : 0u, success ? 0u : error};
    int why = 0;
    if (!detail::writeFull(fd, &reply, sizeof(reply), &why)) return false;
    return reply.returned == 0 || detail::writeFull(fd, out, reply.returned, &why);
}

}  // namespace platform::device
