// An in-process event with the two reset modes the engine's threads rely on: a manual-reset event
// stays set until reset; an auto-reset event releases one waiter and clears itself.
#pragma once

#include <chrono>
#include <condition_variable>
#include <mutex>

namespace platform {

class Event {
  public:
    enum class Reset { Manual, Auto };

    explicit Event(Reset mode, bool initiallySet = false) : mode_(mode), set_(initiallySet) {}
    Event(const Event&) = delete;
    Event& operator=(const Event&) = delete;

    void set();
    void reset();
    // True when the event was set within `timeout` (zero tests without waiting). An auto-reset
    // event is cleared by the wait that sees it.
    bool wait(std::chrono::milliseconds timeout);
    // Waits without a time limit.
    void wait();

  private:
    const Reset mode_;
    std::mutex mutex_;
    std::condition_variable changed_;
    bool set_;
};

}  // namespace platform
