// POSIX implementation of the TCP client: one socket per stream, owned by its TcpStream.
#include "platform/tcp_client.h"

#include <arpa/inet.h>
#include <netdb.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>

#include <algorithm>
#include <cerrno>
#include <climits>

#include "platform/unique_fd.h"

namespace platform {
namespace {

// One poll for `events`: 1 ready, 0 time-out, -1 error. A negative limit waits without end.
int pollOnce(int fd, short events, std::chrono::milliseconds limit) {
    pollfd entry{fd, events, 0};
    long long ms = limit.count();
    int timeout = ms < 0 ? -1 : static_cast<int>(std::min<long long>(ms, INT_MAX));
    int rc;
    do {
        rc = ::poll(&entry, 1, timeout);
    } while (rc < 0 && errno == EINTR);
    if (rc > 0 && (entry.revents & POLLNVAL))
        return -1;
    return rc;
}

class PosixTcpStream final : public TcpStream {
  public:
    explicit PosixTcpStream(UniqueFd socket) : socket_(std::move(socket)) {}

    Wait waitReadable(std::chrono::milliseconds limit) override {
        int rc = pollOnce(socket_.get(), POLLIN, limit);
        if (rc < 0)
            return Wait::kFailed;
        return rc == 0 ? Wait::kTimedOut : Wait::kReady;
    }

    long receive(char* buffer, size_t size) override {
        ssize_t n;
        do {
            n = ::recv(socket_.get(), buffer, size, 0);
        } while (n < 0 && errno == EINTR);
        return n < 0 ? -1 : static_cast<long>(n);
    }

    bool sendAll(const char* data, size_t size, std::chrono::milliseconds limit) override {
        size_t done = 0;
        while (done < size) {
            int rc = pollOnce(socket_.get(), POLLOUT, limit);
            if (rc <= 0)
                return false;
            ssize_t n =
                ::send(socket_.get(), data + done, size - done, MSG_NOSIGNAL | MSG_DONTWAIT);
            if (n > 0) {
                done += static_cast<size_t>(n);
            } else if (n < 0 && errno != EINTR && errno != EAGAIN && errno != EWOULDBLOCK) {
                return false;
            }
        }
        return true;
    }

    void shutdownBoth() override { ::shutdown(socket_.get(), SHUT_RDWR); }

  private:
    UniqueFd socket_;
};

bool resolveIpv4(const std::string& host, in_addr* address) {
    if (::inet_aton(host.c_str(), address) != 0)
        return true;
    addrinfo hints{};
    hints.ai_family = AF_INET;
    hints.ai_socktype = SOCK_STREAM;
    addrinfo* found = nullptr;
    if (::getaddrinfo(host.c_str(), nullptr, &hints, &found) != 0 || found == nullptr)
        return false;
    *address = reinterpret_cast<sockaddr_in*>(found->ai_addr)->sin_addr;
    ::freeaddrinfo(found);
    return true;
}

class PosixTcpConnector final : public TcpConnector {
  public:
    std::unique_ptr<TcpStream> connect(const std::string& host, uint16_t port) override {
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_port = htons(port);
        if (host.empty() || host.find('\0') != std::string::npos)
            return nullptr;
        if (!resolveIpv4(host, &address.sin_addr))
            return nullptr;
        UniqueFd socket(::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0));
        if (!socket)
            return nullptr;
        int rc = ::connect(socket.get(), reinterpret_cast<sockaddr*>(&address), sizeof(address));
        if (rc != 0 && errno == EINTR) {
            // An interrupted connect goes on in the background: wait for its outcome.
            int error = 0;
            socklen_t length = sizeof(error);
            rc = pollOnce(socket.get(), POLLOUT, std::chrono::milliseconds(-1)) >= 0 &&
                         ::getsockopt(socket.get(), SOL_SOCKET, SO_ERROR, &error, &length) == 0 &&
                         error == 0
                     ? 0
                     : -1;
        }
        if (rc != 0)
            return nullptr;
        return std::make_unique<PosixTcpStream>(std::move(socket));
    }
};

}  // namespace

std::shared_ptr<TcpConnector> systemTcpConnector() {
    static const std::shared_ptr<TcpConnector> connector = std::make_shared<PosixTcpConnector>();
    return connector;
}

}  // namespace platform
