// What an SMTP client takes from its surroundings: the network, the server port, the reply time
// limit and the name it greets with. Defaults are the system's; tests pass a scripted transport,
// a free port and short limits.
#pragma once

#include <chrono>
#include <cstdint>
#include <memory>
#include <string>

#include "platform/tcp_client.h"

namespace mail {

struct SmtpOptions {
    // Null: the system's sockets. Shared with every client made from these options, so it must
    // be safe to use from several threads.
    std::shared_ptr<platform::TcpConnector> connector;
    // 0: the port of service "smtp" over "tcp", else 25.
    uint16_t port = 0;
    // Limit for receiving one reply, and for the server to take each piece of a command.
    std::chrono::milliseconds replyTimeout{30000};
    // Empty (or not printable ASCII): this computer's host name, else "localhost".
    std::string helloName;
};

}  // namespace mail
