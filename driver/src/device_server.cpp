#include "device_server.h"

#include <grp.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <syslog.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <vector>

#include "platform/device_server.h"
#include "vestral.h"

namespace vestrald {

namespace {
constexpr const char* kGroup = "corvantis";
}

DeviceServer::DeviceServer(FilterDriver& driver, ExemptProcesses& exempt, std::string directory,
                           size_t maxConnections)
    : driver_(driver),
      exempt_(exempt),
      directory_(std::move(directory)),
      maxConnections_(maxConnections) {}

DeviceServer::~DeviceServer() {
    stop();
}

int DeviceServer::prepareDirectory(unsigned* group) {
    *group = 0;
    std::vector<char> buffer(16384);
    struct group entry {};
    struct group* found = nullptr;
    if (::getgrnam_r(kGroup, &entry, buffer.data(), buffer.size(), &found) == 0 && found)
        *group = found->gr_gid;

    if (::mkdir(directory_.c_str(), 0700) != 0 && errno != EEXIST)
        return errno;
    struct stat info {};
    if (::lstat(directory_.c_str(), &info) != 0)
        return errno;
    // Someone else's folder, or one anybody may write to, could be swapped under us.
    if (!S_ISDIR(info.st_mode) || info.st_uid != ::geteuid() || (info.st_mode & S_IWOTH))
        return EPERM;
    if (::chown(directory_.c_str(), ::geteuid(), *group) != 0)
        return errno;
    if (::chmod(directory_.c_str(), *group ? 0750 : 0755) != 0)
        return errno;
    return 0;
}

int DeviceServer::start() {
    unsigned group = 0;
    if (int error = prepareDirectory(&group))
        return error;
    int error = 0;
    std::string monitorPath = directory_ + "/" + VESTRAL_MONITOR_DEVICE;
    std::string controlPath = directory_ + "/" + VESTRAL_CONTROL_DEVICE;
    monitor_ = platform::device::listenOnDevice(monitorPath, 0660, &error);
    if (!monitor_)
        return error;
    control_ = platform::device::listenOnDevice(controlPath, 0660, &error);
    if (!control_)
        return error;
    for (const std::string& path : {monitorPath, controlPath}) {
        if (::chown(path.c_str(), ::geteuid(), group) != 0)
            return errno;
    }
    wake_.reset(::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK));
    if (!wake_)
        return errno;
    started_ = true;
    acceptThread_ = std::thread([this] { acceptLoop(); });
    return 0;
}

void DeviceServer::stop() {
    if (!started_)
        return;
    started_ = false;
    uint64_t one = 1;
    [[maybe_unused]] ssize_t n = ::write(wake_.get(), &one, sizeof(one));
    if (acceptThread_.joinable())
        acceptThread_.join();
    ::unlink((directory_ + "/" + VESTRAL_MONITOR_DEVICE).c_str());
    ::unlink((directory_ + "/" + VESTRAL_CONTROL_DEVICE).c_str());
    std::list<std::unique_ptr<Client>> clients;
    {
        std::lock_guard lock(mutex_);
        for (auto& client : clients_)
            ::shutdown(client->socket.get(), SHUT_RDWR);
        clients.swap(clients_);
    }
    for (auto& client : clients) {
        if (client->thread.joinable())
            client->thread.join();
    }
}

void DeviceServer::acceptLoop() {
    pollfd fds[3] = {
        {monitor_.get(), POLLIN, 0}, {control_.get(), POLLIN, 0}, {wake_.get(), POLLIN, 0}};
    for (;;) {
        if (::poll(fds, 3, 1000) < 0 && errno != EINTR)
            break;
        if (fds[2].revents)
            break;
        if (fds[0].revents & POLLIN)
            accept(monitor_.get(), Device::Monitor);
        if (fds[1].revents & POLLIN)
            accept(control_.get(), Device::Control);
        reapFinished();
    }
}

void DeviceServer::accept(int listener, Device device) {
    platform::UniqueFd socket(::accept4(listener, nullptr, nullptr, SOCK_CLOEXEC));
    if (!socket)
        return;
    ucred peer{};
    socklen_t size = sizeof(peer);
    if (::getsockopt(socket.get(), SOL_SOCKET, SO_PEERCRED, &peer, &size) != 0)
        return;
    std::lock_guard lock(mutex_);
    if (clients_.size() >= maxConnections_) {
        syslog(LOG_WARNING, "too many device connections; refused one of pid %d",
               static_cast<int>(peer.pid));
        return;
    }
    auto client = std::make_unique<Client>();
    client->socket = std::move(socket);
    client->connection = {nextId_++, device, peer.pid};
    // The holder is exempt before its first request can cause an open to be held.
    exempt_.addHolder(peer.pid);
    Client& ref = *client;
    clients_.push_back(std::move(client));
    ref.thread = std::thread([this, &ref] { serve(ref); });
}

void DeviceServer::serve(Client& client) {
    platform::device::Request request;
    int fd = client.socket.get();
    for (;;) {
        platform::device::ReadResult read = platform::device::readRequest(fd, request);
        if (read != platform::device::ReadResult::Ok)
            break;
        ControlResult result =
            driver_.control(client.connection, request.header.code, request.input,
                            request.header.outLen, std::move(request.passedFd));
        uint32_t returned =
            static_cast<uint32_t>(std::min<size_t>(result.output.size(), request.header.outLen));
        if (!platform::device::sendReply(fd, result.ok, result.error, result.output.data(),
                                         returned))
            break;
    }
    ::shutdown(fd, SHUT_RDWR);
    driver_.connectionClosed(client.connection);
    exempt_.removeHolder(client.connection.pid);
    client.done = true;
}

void DeviceServer::reapFinished() {
    std::list<std::unique_ptr<Client>> finished;
    {
        std::lock_guard lock(mutex_);
        for (auto it = clients_.begin(); it != clients_.end();) {
            if ((*it)->done) {
                finished.push_back(std::move(*it));
                it = clients_.erase(it);
            } else {
                ++it;
            }
        }
    }
    for (auto& client : finished)
        client->thread.join();
}

}  // namespace vestrald
