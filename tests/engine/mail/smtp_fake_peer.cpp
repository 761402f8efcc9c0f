#include "smtp_fake_peer.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <stdexcept>

namespace mail::test {
namespace {

constexpr char kEndOfData[] = "\r\n.\r\n";

bool sendText(int fd, const std::string& text) {
    size_t done = 0;
    while (done < text.size()) {
        ssize_t n = ::send(fd, text.data() + done, text.size() - done, MSG_NOSIGNAL);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return false;
        done += static_cast<size_t>(n);
    }
    return true;
}

// Waits for bytes on `fd` or a stop request. Appends what arrived; false when the connection
// ended or the peer is stopping.
bool receiveMore(int fd, int stopFd, std::string& buffer) {
    pollfd fds[2] = {{fd, POLLIN, 0}, {stopFd, POLLIN, 0}};
    if (::poll(fds, 2, -1) <= 0 || (fds[1].revents & POLLIN))
        return false;
    char chunk[4096];
    ssize_t n = ::recv(fd, chunk, sizeof(chunk), 0);
    if (n <= 0)
        return false;
    buffer.append(chunk, static_cast<size_t>(n));
    return true;
}

}  // namespace

PeerReply reply(std::string text) {
    return PeerReply{{std::move(text)}, {}, false};
}
PeerReply silence() {
    return PeerReply{};
}

uint16_t freeLocalPort() {
    int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof(address);
    if (fd < 0 || ::bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof(address)) != 0 ||
        ::getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length) != 0) {
        if (fd >= 0)
            ::close(fd);
        throw std::runtime_error("no free port on 127.0.0.1");
    }
    ::close(fd);
    return ntohs(address.sin_port);
}

ScriptedSmtpPeer::ScriptedSmtpPeer(std::vector<PeerReply> script) : script_(std::move(script)) {
    listenFd_ = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof(address);
    if (listenFd_ < 0 || ::bind(listenFd_, reinterpret_cast<sockaddr*>(&address), length) != 0 ||
        ::listen(listenFd_, 8) != 0 ||
        ::getsockname(listenFd_, reinterpret_cast<sockaddr*>(&address), &length) != 0 ||
        ::pipe(stopFds_) != 0) {
        throw std::runtime_error("cannot start the scripted SMTP peer");
    }
    port_ = ntohs(address.sin_port);
    thread_ = std::thread([this] { serve(); });
}

ScriptedSmtpPeer::~ScriptedSmtpPeer() {
    (void)!::write(stopFds_[1], "x", 1);
    thread_.join();
    ::close(listenFd_);
    ::close(stopFds_[0]);
    ::close(stopFds_[1]);
}

std::vector<std::string> ScriptedSmtpPeer::received() const {
    std::lock_guard lock(mutex_);
    return received_;
}

int ScriptedSmtpPeer::connections() const {
    std::lock_guard lock(mutex_);
    return connections_;
}

bool ScriptedSmtpPeer::waitForClosedConnections(int count, std::chrono::milliseconds limit) const {
    auto deadline = std::chrono::steady_clock::now() + limit;
    while (std::chrono::steady_clock::now() < deadline) {
        {
            std::lock_guard lock(mutex_);
            if (closed_ >= count)
                return true;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
    return false;
}

void ScriptedSmtpPeer::record(std::string line) {
    std::lock_guard lock(mutex_);
    received_.push_back(std::move(line));
}

void ScriptedSmtpPeer::serve() {
    for (;;) {
        pollfd fds[2] = {{listenFd_, POLLIN, 0}, {stopFds_[0], POLLIN, 0}};
        if (::poll(fds, 2, -1) < 0 && errno == EINTR)
            continue;
        if (fds[1].revents & POLLIN)
            return;
        int fd = ::accept4(listenFd_, nullptr, nullptr, SOCK_CLOEXEC);
        if (fd < 0)
            continue;
        {
            std::lock_guard lock(mutex_);
            ++connections_;
        }
        serveConnection(fd);
        ::close(fd);
        std::lock_guard lock(mutex_);
        ++closed_;
    }
}

void ScriptedSmtpPeer::serveConnection(int fd) {
    std::string buffer;
    bool inData = false;
    for (size_t step = 0; step < script_.size(); ++step) {
        const PeerReply& answer = script_[step];
        if (answer.pieces.empty()) {  // silence: ignore everything until the client leaves
            while (receiveMore(fd, stopFds_[0], buffer))
                buffer.clear();
            return;
        }
        for (size_t i = 0; i < answer.pieces.size(); ++i) {
            if (i > 0)
                std::this_thread::sleep_for(answer.gap);
            if (!sendText(fd, answer.pieces[i]))
                return;
        }
        if (answer.hangUp)
            return;
        if (step + 1 == script_.size())
            break;
        // The next thing the client says: the message when DATA was just accepted, else a line.
        // A message keeps the line end of its last line ("\r\n.\r\n" ends a line, then the
        // data); one that is just ".\r\n" is empty.
        size_t length, consumed;
        for (;;) {
            size_t end = buffer.find(inData ? kEndOfData : "\r\n");
            if (inData && buffer.compare(0, 3, ".\r\n") == 0) {
                length = 0;
                consumed = 3;
                break;
            }
            if (end != std::string::npos) {
                length = inData ? end + 2 : end;
                consumed = inData ? end + 5 : end + 2;
                break;
            }
            if (!receiveMore(fd, stopFds_[0], buffer))
                return;
        }
        std::string unit = buffer.substr(0, length);
        buffer.erase(0, consumed);
        const std::vector<std::string>& next = script_[step + 1].pieces;
        inData = !inData && unit == "DATA" && !next.empty() && next.front().rfind("354", 0) == 0;
        record(std::move(unit));
    }
}

}  // namespace mail::test
