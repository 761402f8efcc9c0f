#include "filter_driver.h"

#include "created_file.h"
#include "name_matching.h"

namespace vestrald {

FilterDriver::FilterDriver(KernelFilter& filter, DriverSettings settings, EventRing::Clock clock)
    : filter_(filter),
      settings_(settings),
      events_(settings.maxEvents, std::move(clock)),
      questions_(settings.questionTimeout, settings.maxHeld) {}

void FilterDriver::rulesChanged() {
    std::lock_guard order(configure_);
    uint32_t mask;
    bool active;
    {
        std::shared_lock lock(state_);
        mask = driveMask_;
        active = (protection_ && !rules_.empty()) || executableProtection_;
    }
    filter_.configure(mask, active);
    filter_.flushCache();
}

OpenVerdict FilterDriver::onOpen(OpenEvent& event) {
    std::string programName(baseName(event.programPath));
    HeldOperation operation;
    bool executable = false;
    {
        std::shared_lock lock(state_);
        bool covered = false;
        int refusing = -1;
        if (protection_)
            refusing = rules_.findRefusingItem(event.path, programName, &covered);
        executable = executableProtection_ && isExecutableName(event.path);
        if (refusing < 0 && !executable)
            return covered ? OpenVerdict::Allow : OpenVerdict::AllowAndCache;
        if (refusing >= 0) {
            operation.itemName = rules_.items()[static_cast<size_t>(refusing)].name;
            operation.itemPrograms = rules_.items()[static_cast<size_t>(refusing)].programs;
        }
    }
    operation.intent = event.readIntent ? event.readIntent() : OpenIntent::Unknown;
    // Reading an executable file is no concern of executable protection; an open whose flags
    // cannot be read is treated as a write (asked rather than let through).
    if (operation.itemName.empty() && operation.intent == OpenIntent::Read)
        return OpenVerdict::Allow;

    operation.event = std::move(event.event);
    operation.filePath = std::move(event.path);
    operation.programPath = std::move(event.programPath);
    operation.programName = std::move(programName);
    operation.heldAt = event.at;
    operation.createdByOpen =
        operation.intent == OpenIntent::Create && looksJustCreated(operation.event.fd());

    std::optional<bool> remembered;
    {
        std::shared_lock lock(state_);
        remembered = memory_.recall(operation.programPath, operation.itemName, operation.filePath);
    }
    std::vector<Outcome> outcomes;
    if (remembered) {
        outcomes.push_back({std::move(operation), *remembered,
                            *remembered ? "ALLOW REMEMBERED" : "DENY REMEMBERED"});
    } else {
        outcomes = questions_.hold(std::move(operation));
        if (outcomes.empty() && questionWaiting_)
            questionWaiting_();
    }
    settle(std::move(outcomes));
    return OpenVerdict::Taken;
}

void FilterDriver::settle(std::vector<Outcome> outcomes) {
    // Answer first: nothing below may delay an opener, and a log reader may be one of them.
    for (Outcome& outcome : outcomes)
        outcome.operation.event.answer(outcome.allow);
    for (Outcome& outcome : outcomes) {
        HeldOperation& operation = outcome.operation;
        if (!outcome.allow && operation.createdByOpen)
            removeCreatedFile(operation.event.fd(), operation.filePath);
        operation.event.reset();
        events_.add(operation.programName, operationWord(operation.intent), operation.filePath,
                    outcome.reason);
    }
}

std::optional<SteadyClock::time_point> FilterDriver::expire(SteadyClock::time_point now) {
    settle(questions_.expire(now));
    return questions_.nextDeadline();
}

void FilterDriver::noteOverflow(uint64_t total) {
    events_.add("vestrald", "OVERFLOW", "",
                "OPENS PASSED UNCHECKED, KERNEL QUEUE OVERFLOWS: " + std::to_string(total));
}

void FilterDriver::denyAll(const std::string& reason) {
    settle(questions_.denyAll(reason));
}

void FilterDriver::connectionClosed(const Connection& connection) {
    if (connection.device == Device::Control)
        settle(questions_.ownerGone(connection.id, "DENY ENGINE GONE"));
}

}  // namespace vestrald
