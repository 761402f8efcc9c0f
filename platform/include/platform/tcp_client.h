// TCP client connections (IPv4), as the SMTP client uses them. The interfaces let tests put a
// scripted transport in place of the network; systemTcpConnector() is the real one.
#pragma once

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

namespace platform {

// One connected stream. Owned by one thread at a time; closed when the object goes.
class TcpStream {
  public:
    enum class Wait { kReady, kTimedOut, kFailed };

    virtual ~TcpStream() = default;

    // Waits at most `limit` (zero: just looks) until bytes or the end of the stream can be read.
    virtual Wait waitReadable(std::chrono::milliseconds limit) = 0;

    // Receives up to `size` bytes: the number received (> 0), 0 when the peer closed the
    // stream, -1 on an error. Call after waitReadable() said kReady.
    virtual long receive(char* buffer, size_t size) = 0;

    // Sends all `size` bytes, waiting at most `limit` each time the stream takes nothing more.
    // True when every byte was handed over; false on an error or a time-out.
    virtual bool sendAll(const char* data, size_t size, std::chrono::milliseconds limit) = 0;

    // Ends both directions at once; later receives see the end of the stream.
    virtual void shutdownBoth() = 0;
};

// Opens streams. Implementations are stateless enough to be shared by several threads.
class TcpConnector {
  public:
    virtual ~TcpConnector() = default;

    // Resolves `host` (a dotted IPv4 address, else a host name whose first IPv4 address is
    // taken) and connects to `port` (host byte order). Null when the name does not resolve, no
    // socket can be had or the connection is refused.
    virtual std::unique_ptr<TcpStream> connect(const std::string& host, uint16_t port) = 0;
};

// The connector over the system's sockets; one object shared by the whole process.
std::shared_ptr<TcpConnector> systemTcpConnector();

}  // namespace platform
