// A scripted SMTP server on 127.0.0.1 for dialogue tests. It owns one listening socket and one
// thread that serves connections one after another; every connection plays the same script:
// the first reply is the greeting, then each command line (and each message after DATA) is
// answered with the next reply. When the script runs out the connection is closed.
#pragma once

#include <chrono>
#include <cstdint>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace mail::test {

struct PeerReply {
    // Sent one after another, `gap` apart (a reply in several pieces).
    std::vector<std::string> pieces;
    std::chrono::milliseconds gap{0};
    // Close the connection after sending the pieces.
    bool hangUp = false;
};

// One reply in one piece.
PeerReply reply(std::string text);
// A reply that never comes: the peer waits (without reading) until the client closes.
PeerReply silence();

class ScriptedSmtpPeer {
  public:
    explicit ScriptedSmtpPeer(std::vector<PeerReply> script);
    ~ScriptedSmtpPeer();
    ScriptedSmtpPeer(const ScriptedSmtpPeer&) = delete;
    ScriptedSmtpPeer& operator=(const ScriptedSmtpPeer&) = delete;

    uint16_t port() const { return port_; }

    // Command lines received, without their CR LF, over all connections; a message received
    // after DATA is one entry: its lines as the server stores them (with the line end of the
    // last one), without the final ".\r\n".
    std::vector<std::string> received() const;
    int connections() const;
    // Waits until `count` connections have ended (the client closed or the script ran out).
    bool waitForClosedConnections(int count, std::chrono::milliseconds limit) const;

  private:
    void serve();
    void serveConnection(int fd);
    void record(std::string line);

    std::vector<PeerReply> script_;
    int listenFd_ = -1;
    int stopFds_[2] = {-1, -1};
    uint16_t port_ = 0;
    mutable std::mutex mutex_;
    std::vector<std::string> received_;
    int connections_ = 0;
    int closed_ = 0;
    std::thread thread_;
};

// A free TCP port of 127.0.0.1 (bound and released at once), for servers that need a port
// number before they start.
uint16_t freeLocalPort();

}  // namespace mail::test
