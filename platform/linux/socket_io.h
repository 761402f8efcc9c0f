// Whole-buffer reads and writes on stream sockets, restarted after signals. Internal to platform.
#pragma once

#include <cstddef>

namespace platform::detail {

// Reads exactly `size` bytes. Returns the bytes read before end of stream or an error (== size
// on success); *error gets the errno value on an error and 0 at end of stream.
size_t readFull(int fd, void* buffer, size_t size, int* error);

// Writes exactly `size` bytes without raising SIGPIPE. True on success.
bool writeFull(int fd, const void* buffer, size_t size, int* error);

}  // namespace platform::detail
