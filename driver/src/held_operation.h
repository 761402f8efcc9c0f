// One open that the filter holds in the kernel until it is answered, and the outcome it gets.
#pragma once

#include <chrono>
#include <cstdint>
#include <string>

#include "kernel_filter.h"
#include "open_intent.h"

namespace vestrald {

using SteadyClock = std::chrono::steady_clock;

// A fanotify permission event's descriptor and the duty to answer it. Answered exactly once:
// dropping an unanswered event denies it, so no path (error, exception) can leave an opener
// stuck in the kernel. The descriptor stays open after the answer until the object goes.
class PermissionEvent {
  public:
    PermissionEvent() = default;
    PermissionEvent(int fd, KernelFilter* filter) : fd_(fd), filter_(filter) {}
    PermissionEvent(PermissionEvent&& other) noexcept { *this = std::move(other); }
    PermissionEvent& operator=(PermissionEvent&& other) noexcept;
    PermissionEvent(const PermissionEvent&) = delete;
    PermissionEvent& operator=(const PermissionEvent&) = delete;
    ~PermissionEvent() { reset(); }

    void answer(bool allow);  // the first call answers; later calls do nothing
    bool answered() const { return answered_; }
    int fd() const { return fd_; }
    void reset();  // denies when unanswered, then closes

  private:
    int fd_ = -1;
    KernelFilter* filter_ = nullptr;
    bool answered_ = false;
};

struct HeldOperation {
    PermissionEvent event;
    std::string filePath;
    std::string programPath;   // full path of the opener's executable
    std::string programName;   // its file name, as shown to the engine and in event entries
    std::string itemName;      // the protected item concerned; empty for an executable file
    std::string itemPrograms;  // that item's permitted-program string
    OpenIntent intent = OpenIntent::Unknown;
    bool createdByOpen = false;  // the open created the (still empty) file
    SteadyClock::time_point heldAt{};

    bool isExecutableQuestion() const { return itemName.empty(); }
};

// How a held operation was settled; `reason` becomes the result text of its event entry.
struct Outcome {
    HeldOperation operation;
    bool allow = false;
    std::string reason;
};

}  // namespace vestrald
