// The driver logic behind both devices: the item table, the switches, the questions and the
// event entries. Owns the item rules and switches (behind state_), the decision memory, the
// question queue and the event ring; borrows the kernel filter and the exempt-process list.
// Called from the device server's connection threads (control requests), the fanotify reader
// thread (opens) and the question timer (expiry). No lock is held while the kernel is answered.
#pragma once

#include <chrono>
#include <cstdint>
#include <functional>
#include <mutex>
#include <shared_mutex>
#include <string>
#include <vector>

#include "decision_memory.h"
#include "event_ring.h"
#include "item_rules.h"
#include "kernel_filter.h"
#include "question_queue.h"
#include "vestral.h"

namespace vestrald {

enum class Device { Monitor, Control };

struct Connection {
    uint64_t id = 0;
    Device device = Device::Monitor;
    pid_t pid = 0;
};

struct ControlResult {
    bool ok = true;
    uint32_t error = 0;  // errno value on failure
    std::vector<uint8_t> output;

    static ControlResult fail(uint32_t error) { return {false, error, {}}; }
};

// One open that reached the filter.
struct OpenEvent {
    pid_t tid = 0;
    PermissionEvent event;  // taken when the driver holds the open
    std::string path;
    std::string programPath;
    std::function<OpenIntent()> readIntent;  // reads the opener's flags (costly: on demand)
    SteadyClock::time_point at{};
};

enum class OpenVerdict {
    Allow,          // let it pass; the decision depends on the program: ask again next time
    AllowAndCache,  // let it pass and never ask for this file until the rules change
    Taken,          // the driver holds the open and answers it itself
};

struct DriverSettings {
    std::chrono::milliseconds questionTimeout{60000};
    size_t maxHeld = 4096;
    size_t maxEvents = 8192;
};

class FilterDriver {
  public:
    FilterDriver(KernelFilter& filter, DriverSettings settings,
                 EventRing::Clock clock = fileTimeNow);

    // One control request of a connection. `passedFd` is the descriptor that travelled with it.
    ControlResult control(const Connection& connection, uint32_t code,
                          const std::vector<uint8_t>& input, uint32_t outLen,
                          platform::UniqueFd passedFd);
    void connectionClosed(const Connection& connection);

    OpenVerdict onOpen(OpenEvent& event);
    // Denies questions past their deadline; returns the next deadline, if any.
    std::optional<SteadyClock::time_point> expire(SteadyClock::time_point now);
    std::optional<SteadyClock::time_point> nextDeadline() const {
        return questions_.nextDeadline();
    }
    // The kernel dropped events (queue overflow): recorded as an event entry.
    void noteOverflow(uint64_t total);
    // Denies everything held (shutdown).
    void denyAll(const std::string& reason);

    // Called when a question starts waiting (the question timer re-arms).
    void setQuestionWaitingHook(std::function<void()> hook) { questionWaiting_ = std::move(hook); }

    EventRing& events() { return events_; }
    size_t heldCount() const { return questions_.heldCount(); }

  private:
    ControlResult monitorRequest(uint32_t code, const std::vector<uint8_t>& input, uint32_t outLen);
    ControlResult controlRequest(const Connection& connection, uint32_t code,
                                 const std::vector<uint8_t>& input, uint32_t outLen,
                                 platform::UniqueFd passedFd);
    ControlResult setQuestionEvent(const Connection& connection, const std::vector<uint8_t>& input,
                                   platform::UniqueFd passedFd);
    ControlResult reply(const std::vector<uint8_t>& input);
    // Re-applies marks and drops the cache after a change of rules or switches.
    void rulesChanged();
    // Answers the kernel first, then removes refused creations and records event entries.
    void settle(std::vector<Outcome> outcomes);

    KernelFilter& filter_;
    const DriverSettings settings_;
    EventRing events_;
    QuestionQueue questions_;
    std::function<void()> questionWaiting_;

    std::mutex configure_;             // keeps mark updates in the order of the changes
    mutable std::shared_mutex state_;  // guards everything below
    ItemRules rules_;
    DecisionMemory memory_;
    bool protection_ = false;
    bool executableProtection_ = false;
    uint32_t driveMask_ = 0;
    MonitorFilter monitorFilter_{};
    uint8_t timeStampMode_ = 0;
    uint32_t captureParameter_ = 0;
};

}  // namespace vestrald
