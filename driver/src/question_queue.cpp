#include "question_queue.h"

#include <unistd.h>

#include <cstring>

namespace vestrald {

namespace {

void copyText(char* field, size_t width, const std::string& text) {
    size_t n = std::min(text.size(), width - 1);
    std::memcpy(field, text.data(), n);
    field[n] = '\0';
}

}  // namespace

QuestionQueue::QuestionQueue(std::chrono::milliseconds timeout, size_t maxHeld)
    : timeout_(timeout), maxHeld_(maxHeld) {}

bool QuestionQueue::allows(AccessDecision decision) {
    return decision == AllowOnce || decision == AllowUntilRestart || decision == AllowAlways;
}

std::string QuestionQueue::reasonFor(AccessDecision decision) {
    switch (decision) {
        case AllowUntilRestart:
            return "ALLOW UNTIL RESTART";
        case DenyUntilRestart:
            return "DENY UNTIL RESTART";
        case AllowOnce:
            return "ALLOW ONCE";
        case DenyOnce:
            return "DENY ONCE";
        case AllowAlways:
            return "ALLOW ALWAYS";
        default:
            return "DENY INVALID DECISION";
    }
}

void QuestionQueue::signalLocked() {
    if (!event_ || questions_.empty() || questions_.front().delivered)
        return;
    uint64_t one = 1;
    // An eventfd write only blocks when the counter is near 2^64; the engine reads it down.
    [[maybe_unused]] ssize_t n = ::write(event_.get(), &one, sizeof(one));
}

void QuestionQueue::settleLocked(PendingQuestion& question, bool allow, const std::string& reason,
                                 std::vector<Outcome>& outcomes) {
    for (HeldOperation& operation : question.operations) {
        outcomes.push_back({std::move(operation), allow, reason});
        --held_;
    }
    question.operations.clear();
}

std::vector<Outcome> QuestionQueue::hold(HeldOperation operation) {
    std::vector<Outcome> outcomes;
    std::lock_guard lock(mutex_);
    if (!event_) {
        outcomes.push_back({std::move(operation), false, "DENY NO ENGINE"});
        return outcomes;
    }
    if (held_ >= maxHeld_) {
        outcomes.push_back({std::move(operation), false, "DENY BUSY"});
        return outcomes;
    }
    for (PendingQuestion& question : questions_) {
        if (question.programPath == operation.programPath &&
            question.filePath == operation.filePath && question.itemName == operation.itemName) {
            question.operations.push_back(std::move(operation));
            ++held_;
            return outcomes;
        }
    }
    PendingQuestion question;
    question.id = nextId_++;
    if (nextId_ == 0)
        nextId_ = 1;
    question.filePath = operation.filePath;
    question.programPath = operation.programPath;
    question.programName = operation.programName;
    question.itemName = operation.itemName;
    question.itemPrograms = operation.itemPrograms;
    question.deadline = operation.heldAt + timeout_;
    question.operations.push_back(std::move(operation));
    ++held_;
    questions_.push_back(std::move(question));
    if (questions_.size() == 1)
        signalLocked();
    return outcomes;
}

void QuestionQueue::setQuestionEvent(platform::UniqueFd event, uint64_t owner) {
    std::lock_guard lock(mutex_);
    event_ = std::move(event);
    eventOwner_ = owner;
    if (!questions_.empty())
        questions_.front().delivered = false;
    signalLocked();
}

bool QuestionQueue::hasQuestionEvent() const {
    std::lock_guard lock(mutex_);
    return event_.valid();
}

std::vector<Outcome> QuestionQueue::denyAllLocked(const std::string& reason) {
    std::vector<Outcome> outcomes;
    for (PendingQuestion& question : questions_)
        settleLocked(question, false, reason, outcomes);
    questions_.clear();
    return outcomes;
}

std::vector<Outcome> QuestionQueue::withdraw(const std::string& reason) {
    std::lock_guard lock(mutex_);
    event_.reset();
    eventOwner_ = 0;
    return denyAllLocked(reason);
}

std::vector<Outcome> QuestionQueue::ownerGone(uint64_t owner, const std::string& reason) {
    std::lock_guard lock(mutex_);
    if (!event_ || eventOwner_ != owner)
        return {};
    event_.reset();
    eventOwner_ = 0;
    return denyAllLocked(reason);
}

std::vector<Outcome> QuestionQueue::denyAll(const std::string& reason) {
    std::lock_guard lock(mutex_);
    return denyAllLocked(reason);
}

void QuestionQueue::fetch(AccessQuestion& out) {
    std::memset(&out, 0, sizeof(out));
    std::lock_guard lock(mutex_);
    if (questions_.empty())
        return;
    PendingQuestion& question = questions_.front();
    copyText(out.FilePath, sizeof(out.FilePath), question.filePath);
    copyText(out.Process, sizeof(out.Process), question.programName);
    copyText(out.ItemName, sizeof(out.ItemName), question.itemName);
    copyText(out.ItemPrograms, sizeof(out.ItemPrograms), question.itemPrograms);
    std::memcpy(out.Reserved1, &question.id, sizeof(question.id));
    out.Valid = 1;
    question.delivered = true;
}

Answer QuestionQueue::reply(const AccessQuestion& in) {
    Answer answer;
    uint32_t id;
    std::memcpy(&id, in.Reserved1, sizeof(id));
    std::lock_guard lock(mutex_);
    for (auto it = questions_.begin(); it != questions_.end(); ++it) {
        if (it->id != id)
            continue;
        answer.known = true;
        answer.decision = in.Decision;
        settleLocked(*it, allows(in.Decision), reasonFor(in.Decision), answer.outcomes);
        answer.question = std::move(*it);
        bool wasFront = it == questions_.begin();
        questions_.erase(it);
        if (wasFront)
            signalLocked();
        break;
    }
    return answer;
}

std::vector<Outcome> QuestionQueue::expire(SteadyClock::time_point now) {
    return settleWhere(
        [now](const PendingQuestion& question) -> std::optional<bool> {
            if (question.deadline <= now)
                return false;
            return std::nullopt;
        },
        "", "DENY TIMEOUT");
}

std::optional<SteadyClock::time_point> QuestionQueue::nextDeadline() const {
    std::lock_guard lock(mutex_);
    std::optional<SteadyClock::time_point> next;
    for (const PendingQuestion& question : questions_) {
        if (!next || question.deadline < *next)
            next = question.deadline;
    }
    return next;
}

std::vector<Outcome> QuestionQueue::settleWhere(
    const std::function<std::optional<bool>(const PendingQuestion&)>& decide,
    const std::string& allowReason, const std::string& denyReason) {
    std::vector<Outcome> outcomes;
    std::lock_guard lock(mutex_);
    bool frontGone = false;
    for (auto it = questions_.begin(); it != questions_.end();) {
        std::optional<bool> verdict = decide(*it);
        if (verdict) {
            frontGone |= it == questions_.begin();
            settleLocked(*it, *verdict, *verdict ? allowReason : denyReason, outcomes);
            it = questions_.erase(it);
        } else {
            ++it;
        }
    }
    if (frontGone)
        signalLocked();
    return outcomes;
}

size_t QuestionQueue::heldCount() const {
    std::lock_guard lock(mutex_);
    return held_;
}

}  // namespace vestrald
