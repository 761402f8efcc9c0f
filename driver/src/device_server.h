// Serves the two devices on Unix sockets in the device folder. Owns the listening sockets, an
// accept thread and one thread per connection (each connection is one handle); borrows the
// driver (requests) and the exempt-process list (connection holders, from SO_PEERCRED). A
// malformed frame ends that connection only.
#pragma once

#include <atomic>
#include <list>
#include <memory>
#include <mutex>
#include <string>
#include <thread>

#include "exempt_processes.h"
#include "filter_driver.h"
#include "platform/unique_fd.h"

namespace vestrald {

class DeviceServer {
  public:
    DeviceServer(FilterDriver& driver, ExemptProcesses& exempt, std::string directory,
                 size_t maxConnections = 256);
    ~DeviceServer();

    // Prepares the folder (root's, group "corvantis" when it exists), creates both sockets
    // (mode 0660) and starts accepting. 0, or an errno value.
    int start();
    // Stops accepting, ends every connection (their handles close) and removes the sockets.
    void stop();

  private:
    struct Client {
        platform::UniqueFd socket;
        Connection connection;
        std::thread thread;
        std::atomic<bool> done{false};
    };

    int prepareDirectory(unsigned* group);
    void acceptLoop();
    void accept(int listener, Device device);
    void serve(Client& client);
    void reapFinished();

    FilterDriver& driver_;
    ExemptProcesses& exempt_;
    const std::string directory_;
    const size_t maxConnections_;
    platform::UniqueFd monitor_, control_, wake_;
    std::thread acceptThread_;
    std::mutex mutex_;  // guards clients_
    std::list<std::unique_ptr<Client>> clients_;
    uint64_t nextId_ = 1;
    bool started_ = false;
};

}  // namespace vestrald
