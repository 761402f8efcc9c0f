// Port numbers of named network services (the system's services database).
#pragma once

#include <cstdint>

namespace platform {

// The port of `service` over `protocol` ("smtp", "tcp"), in host byte order; `fallback` when
// the database does not know it. Safe to call from several threads at once.
uint16_t servicePort(const char* service, const char* protocol, uint16_t fallback);

}  // namespace platform
