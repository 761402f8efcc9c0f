#include "question_queue.h"

#include <gtest/gtest.h>
#include <sys/eventfd.h>
#include <unistd.h>

#include <cstring>

namespace vestrald {
namespace {

using namespace std::chrono_literals;

const SteadyClock::time_point kStart{};

HeldOperation operation(const std::string& program, const std::string& file,
                        SteadyClock::time_point at = kStart, const std::string& item = "/DATA") {
    HeldOperation op;
    op.programPath = "/usr/bin/" + program;
    op.programName = program;
    op.filePath = file;
    op.itemName = item;
    op.itemPrograms = item.empty() ? "" : "EDITOR:";
    op.heldAt = at;
    return op;
}

uint64_t drain(int eventFd) {
    uint64_t count = 0;
    return ::read(eventFd, &count, sizeof(count)) == sizeof(count) ? count : 0;
}

struct Engine {
    QuestionQueue queue{60s, 100};
    int event = -1;
    Engine() {
        event = ::eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC);
        queue.setQuestionEvent(platform::UniqueFd(::dup(event)), 7);
    }
    ~Engine() { ::close(event); }
    AccessQuestion fetch() {
        AccessQuestion q;
        queue.fetch(q);
        return q;
    }
    Answer reply(AccessQuestion q, AccessDecision decision) {
        q.Decision = decision;
        return queue.reply(q);
    }
};

TEST(QuestionQueue, WithoutAnEngineEveryOperationIsDeniedAtOnce) {
    QuestionQueue queue(60s, 10);
    auto outcomes = queue.hold(operation("cat", "/data/a"));
    ASSERT_EQ(outcomes.size(), 1u);
    EXPECT_FALSE(outcomes[0].allow);
    EXPECT_EQ(outcomes[0].reason, "DENY NO ENGINE");
    AccessQuestion q;
    queue.fetch(q);
    EXPECT_EQ(q.Valid, 0u) << "no question waits";
}

TEST(QuestionQueue, OneQuestionAtATimeAndIdenticalOpensShareTheAnswer) {
    Engine engine;
    EXPECT_TRUE(engine.queue.hold(operation("cat", "/data/a")).empty());
    EXPECT_TRUE(engine.queue.hold(operation("cat", "/data/a")).empty());  // joins the first
    EXPECT_TRUE(engine.queue.hold(operation("cat", "/data/b")).empty());
    EXPECT_EQ(drain(engine.event), 1u) << "signalled once for the first question";

    AccessQuestion first = engine.fetch();
    EXPECT_EQ(first.Valid, 1u);
    EXPECT_STREQ(first.FilePath, "/data/a");
    EXPECT_STREQ(first.Process, "cat");
    EXPECT_STREQ(first.ItemName, "/DATA");
    EXPECT_STREQ(first.ItemPrograms, "EDITOR:");
    EXPECT_STREQ(engine.fetch().FilePath, "/data/a") << "the same question until it is answered";

    Answer answer = engine.reply(first, AllowOnce);
    ASSERT_TRUE(answer.known);
    ASSERT_EQ(answer.outcomes.size(), 2u);
    EXPECT_TRUE(answer.outcomes[0].allow && answer.outcomes[1].allow);
    EXPECT_EQ(drain(engine.event), 1u) << "signalled again for the next question";
    AccessQuestion second = engine.fetch();
    EXPECT_STREQ(second.FilePath, "/data/b");

    // A second reply to an answered question settles nothing.
    EXPECT_FALSE(engine.reply(first, DenyOnce).known);
    EXPECT_EQ(engine.queue.heldCount(), 1u);
}

TEST(QuestionQueue, DecisionCodesAllowOrDeny) {
    const std::pair<AccessDecision, bool> cases[] = {{AllowUntilRestart, true},
                                                     {DenyUntilRestart, false},
                                                     {AllowOnce, true},
                                                     {DenyOnce, false},
                                                     {AllowAlways, true},
                                                     {0, false},
                                                     {6, false},
                                                     {-1, false}};
    for (auto [decision, allow] : cases) {
        Engine engine;
        engine.queue.hold(operation("cat", "/data/a"));
        Answer answer = engine.reply(engine.fetch(), decision);
        ASSERT_EQ(answer.outcomes.size(), 1u);
        EXPECT_EQ(answer.outcomes[0].allow, allow) << decision;
        EXPECT_EQ(answer.outcomes[0].reason.find("DENY") != std::string::npos, !allow);
    }
}

TEST(QuestionQueue, TimeoutWithdrawalAndDisconnectDeny) {
    Engine engine;
    engine.queue.hold(operation("cat", "/data/a", kStart));
    engine.queue.hold(operation("cat", "/data/b", kStart + 30s));
    EXPECT_EQ(engine.queue.nextDeadline(), kStart + 60s);
    EXPECT_TRUE(engine.queue.expire(kStart + 59s).empty());
    drain(engine.event);
    auto expired = engine.queue.expire(kStart + 60s);
    ASSERT_EQ(expired.size(), 1u);
    EXPECT_EQ(expired[0].reason, "DENY TIMEOUT");
    EXPECT_EQ(drain(engine.event), 1u) << "the next question is announced";

    EXPECT_TRUE(engine.queue.ownerGone(8, "DENY ENGINE GONE").empty()) << "not the owner";
    auto gone = engine.queue.ownerGone(7, "DENY ENGINE GONE");
    ASSERT_EQ(gone.size(), 1u);
    EXPECT_FALSE(gone[0].allow);
    EXPECT_FALSE(engine.queue.hasQuestionEvent());
}

TEST(QuestionQueue, HoldsAreBounded) {
    QuestionQueue queue(60s, 2);
    int event = ::eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC);
    queue.setQuestionEvent(platform::UniqueFd(event), 1);
    EXPECT_TRUE(queue.hold(operation("a", "/1")).empty());
    EXPECT_TRUE(queue.hold(operation("a", "/2")).empty());
    auto busy = queue.hold(operation("a", "/3"));
    ASSERT_EQ(busy.size(), 1u);
    EXPECT_EQ(busy[0].reason, "DENY BUSY");
}

}  // namespace
}  // namespace vestrald
