// Server side of the device channel, shared by the filter daemon and the tests' fake driver:
// the listening socket of a device and the reading and answering of framed requests.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "platform/device_protocol.h"
#include "platform/unique_fd.h"

namespace platform::device {

struct Request {
    RequestHeader header{};
    std::vector<uint8_t> input;
    UniqueFd passedFd;  // the descriptor that travelled with the request, if any
};

enum class ReadResult { Ok, Closed, Malformed };

// Creates a listening Unix stream socket at `path` (an old socket file there is replaced) with
// the given mode. Invalid on failure; *error gets the errno value.
UniqueFd listenOnDevice(const std::string& path, unsigned mode, int* error = nullptr);

// Reads one whole request from a connection. Closed: the peer hung up before a request began.
// Malformed: bad magic, a length over the limit, or the peer vanished mid-request; the caller
// disconnects that peer.
ReadResult readRequest(int fd, Request& request);

// Sends a reply; `returned` bytes of `out` follow the header. False when the peer is gone.
bool sendReply(int fd, bool success, uint32_t error, const void* out, uint32_t returned);

}  // namespace platform::device
