// An auto-reset event that another process can signal: an eventfd whose descriptor is handed to
// the filter driver with the question-event request. The object owns the descriptor.
#pragma once

#include <chrono>
#include <optional>

#include "platform/unique_fd.h"

namespace platform {

class ShareableEvent {
  public:
    // A new event, not set. Empty when the system refuses one.
    static std::optional<ShareableEvent> create();

    // The descriptor to pass along (SCM_RIGHTS); also the 32-bit handle value sent with it.
    int handle() const { return fd_.get(); }
    // Sets the event (what the driver does when a question waits). False on failure.
    bool set();
    // True when the event was set within `timeout`; the wait that sees it clears it.
    bool wait(std::chrono::milliseconds timeout);

  private:
    explicit ShareableEvent(UniqueFd fd) : fd_(std::move(fd)) {}
    UniqueFd fd_;
};

}  // namespace platform
