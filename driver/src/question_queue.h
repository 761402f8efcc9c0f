// The held operations waiting for the engine's answer. Owns the held operations (and so their
// fanotify descriptors) and the engine's question event (an eventfd handed over on the control
// device); guarded by its own mutex. Callers get settled operations back as Outcomes and answer
// the kernel themselves, outside this lock.
//
// Questions go to the engine one at a time, oldest first; opens of the same file by the same
// program while a question is pending join that question and share its answer.
#pragma once

#include <chrono>
#include <cstdint>
#include <deque>
#include <functional>
#include <mutex>
#include <optional>
#include <vector>

#include "held_operation.h"
#include "platform/unique_fd.h"
#include "vestral.h"

namespace vestrald {

struct PendingQuestion {
    uint32_t id = 0;
    std::string filePath;
    std::string programPath;
    std::string programName;
    std::string itemName;  // empty: an executable-file question
    std::string itemPrograms;
    SteadyClock::time_point deadline{};
    bool delivered = false;
    std::vector<HeldOperation> operations;
};

// What a reply settled: the question and the decision, for the caller's follow-up work.
struct Answer {
    bool known = false;  // false: the question was already settled (expired, withdrawn)
    AccessDecision decision = 0;
    PendingQuestion question;  // its operations moved into `outcomes`
    std::vector<Outcome> outcomes;
};

class QuestionQueue {
  public:
    QuestionQueue(std::chrono::milliseconds timeout, size_t maxHeld);

    // Takes a held operation. Returns the outcomes to settle at once: empty when the operation
    // now waits for the engine; a denial when no engine listens or too much is held already.
    std::vector<Outcome> hold(HeldOperation operation);

    // The engine's question event: signalled (eventfd write) whenever a question waits that the
    // engine has not fetched. `owner` identifies the connection that handed it over.
    void setQuestionEvent(platform::UniqueFd event, uint64_t owner);
    bool hasQuestionEvent() const;
    // Forgets the event and denies everything held: the engine cannot answer any more.
    std::vector<Outcome> withdraw(const std::string& reason);
    // As withdraw, when `owner` is the connection that handed the event over.
    std::vector<Outcome> ownerGone(uint64_t owner, const std::string& reason);

    // Fills `out` with the oldest waiting question (validity marker 1, question id in the
    // driver's first reserved word), or zeros with marker 0 when none waits.
    void fetch(AccessQuestion& out);

    // Settles the question the reply names. An unknown id (already settled) settles nothing.
    Answer reply(const AccessQuestion& in);

    // Denies questions whose deadline passed.
    std::vector<Outcome> expire(SteadyClock::time_point now);
    std::optional<SteadyClock::time_point> nextDeadline() const;

    // Settles each waiting question for which `decide` returns a verdict (true allow).
    std::vector<Outcome> settleWhere(
        const std::function<std::optional<bool>(const PendingQuestion&)>& decide,
        const std::string& allowReason, const std::string& denyReason);

    std::vector<Outcome> denyAll(const std::string& reason);
    size_t heldCount() const;

    static bool allows(AccessDecision decision);
    static std::string reasonFor(AccessDecision decision);

  private:
    void signalLocked();
    void settleLocked(PendingQuestion& question, bool allow, const std::string& reason,
                      std::vector<Outcome>& outcomes);
    std::vector<Outcome> denyAllLocked(const std::string& reason);

    const std::chrono::milliseconds timeout_;
    const size_t maxHeld_;
    mutable std::mutex mutex_;
    std::deque<PendingQuestion> questions_;
    platform::UniqueFd event_;
    uint64_t eventOwner_ = 0;
    uint32_t nextId_ = 1;
    size_t held_ = 0;
};

}  // namespace vestrald
