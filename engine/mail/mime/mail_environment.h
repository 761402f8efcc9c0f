// What the MIME builder takes from the system: the local time and zone, a tick count for
// boundaries and timings, the registered content types, debugger output. Tests pass their own.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "platform/local_time.h"

namespace mail {

class MailEnvironment {
  public:
    virtual ~MailEnvironment() = default;
    virtual platform::LocalTimeReading LocalTime() const = 0;
    virtual uint32_t TickCount() const = 0;
    // The content type registered for a key such as ".txt" or ".tar.gz" (case-insensitive).
    virtual std::optional<std::string> RegisteredContentType(std::string_view key) const = 0;
    virtual void DebugOutput(std::string_view text) const = 0;
};

// The real system: platform clock, /etc/mime.types, debugger output. Stateless; lives forever.
const MailEnvironment& SystemMailEnvironment();

}  // namespace mail
