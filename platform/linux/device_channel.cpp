#include "platform/device_channel.h"

#include <sys/socket.h>
#include <sys/un.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "platform/device_protocol.h"
#include "socket_io.h"

namespace platform {

std::string deviceDirectory() {
    const char* dir = std::getenv(device::kDeviceDirVariable);
    return (dir && *dir) ? dir : device::kDefaultDeviceDir;
}

std::unique_ptr<DeviceHandle> DeviceHandle::open(std::string_view name, int* error) {
    auto fail = [error](int code) -> std::unique_ptr<DeviceHandle> {
        if (error) *error = code;
        return nullptr;
    };
    std::string path = deviceDirectory() + "/" + std::string(name);
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    if (name.empty() || path.size() >= sizeof(address.sun_path)) return fail(ENAMETOOLONG);
    std::memcpy(address.sun_path, path.c_str(), path.size() + 1);

    UniqueFd socket(::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0));
    if (!socket) return fail(errno);
    int rc;
    do {
        rc = ::connect(socket.get(), reinterpret_cast<sockaddr*>(&address), sizeof(address));
    } while (rc != 0 && errno == EINTR);
    if (rc != 0) return fail(errno);
    if (error) *error = 0;
    return std::make_unique<DeviceHandle>(std::move(socket));
}

bool DeviceHandle::isOpen() const {
    std::lock_guard lock(mutex_);
    return socket_.valid();
}

int DeviceHandle::lastError() const {
    std::lock_guard lock(mutex_);
    return lastError_;
}

namespace {

// Sends the header and the input; the descriptor (if any) rides on the first byte.
bool sendRequest(int fd, const device::RequestHeader& header, const void* in, int passFd,
                 int* error) {
    iovec parts[2] = {{const_cast<device::RequestHeader*>(&header), sizeof(header)},
                      {const_cast<void*>(in), header.inLen}};
    msghdr message{};
    message.msg_iov = parts;
    message.msg_iovlen = header.inLen ? 2 : 1;
    alignas(cmsghdr) char control[CMSG_SPACE(sizeof(int))] = {};
    if (passFd >= 0) {
        message.msg_control = control;
        message.msg_controllen = sizeof(control);
        cmsghdr* cmsg = CMSG_FIRSTHDR(&message);
        cmsg->cmsg_level = SOL_SOCKET;
        cmsg->cmsg_type = SCM_RIGHTS;
        cmsg->cmsg_len = CMSG_LEN(sizeof(int));
        std::memcpy(CMSG_DATA(cmsg), &passFd, sizeof(int));
    }
    ssize_t sent;
    do {
        sent = ::sendmsg(fd, &message, MSG_NOSIGNAL);
    } while (sent < 0 && errno == EINTR);
    if (sent < 0) {
        *error = errno;
        return false;
    }
    // A partial send carried the descriptor already; the rest goes plainly.
    size_t total = sizeof(header) + header.inLen;
    size_t done = static_cast<size_t>(sent);
    if (done < sizeof(header)) {
        if (!detail::writeFull(fd, reinterpret_cast<const char*>(&header) + done,
                               sizeof(header) - done, error))
            return false;
        done = sizeof(header);
    }
    size_t inputDone = done - sizeof(header);
    if (done < total) {
        return detail::writeFull(fd, static_cast<const char*>(in) + inputDone,
                                 header.inLen - inputDone, error);
    }
    return true;
}

}  // namespace

bool DeviceHandle::control(uint32_t code, const void* in, uint32_t inLen, void* out,
                           uint32_t outLen, uint32_t* returned, int passFd) {
    std::lock_guard lock(mutex_);
    if (returned) *returned = 0;
    if (!socket_) {
        lastError_ = EBADF;
        return false;
    }
    if (inLen > device::kMaxPayload || outLen > device::kMaxPayload || (inLen && !in) ||
        (outLen && !out)) {
        lastError_ = EINVAL;
        return false;
    }
    int error = 0;
    auto broken = [&](int why) {
        socket_.reset();
        lastError_ = why ? why : EPIPE;
        return false;
    };

    device::RequestHeader header{device::kMagic, code, inLen, outLen};
    if (!sendRequest(socket_.get(), header, in, passFd, &error)) return broken(error);

    device::ReplyHeader reply{};
    if (detail::readFull(socket_.get(), &reply, sizeof(reply), &error) != sizeof(reply))
        return broken(error);
    if (reply.status > 1 || reply.returned > outLen) return broken(EPROTO);
    if (reply.returned &&
        detail::readFull(socket_.get(), out, reply.returned, &error) != reply.returned)
        return broken(error);

    if (returned) *returned = reply.returned;
    if (reply.status != 1) {
        lastError_ = reply.error ? static_cast<int>(reply.error) : EIO;
        return false;
    }
    lastError_ = 0;
    return true;
}

}  // namespace platform
