// The event types: manual and auto reset, waits with a time-out, and the event another process
// (the driver) signals through its descriptor.
#include <gtest/gtest.h>
#include <unistd.h>

#include <thread>

#include "platform/event.h"
#include "platform/shareable_event.h"

namespace {

using std::chrono::milliseconds;

TEST(Event, ManualResetStaysSetAutoResetReleasesOneWait) {
    platform::Event manual(platform::Event::Reset::Manual);
    platform::Event automatic(platform::Event::Reset::Auto, true);
    EXPECT_FALSE(manual.wait(milliseconds(0)));
    manual.set();
    EXPECT_TRUE(manual.wait(milliseconds(0)));
    EXPECT_TRUE(manual.wait(milliseconds(0)));
    manual.reset();
    EXPECT_FALSE(manual.wait(milliseconds(1)));

    EXPECT_TRUE(automatic.wait(milliseconds(0)));
    EXPECT_FALSE(automatic.wait(milliseconds(0)));
}

TEST(Event, WaitWakesWhenAnotherThreadSets) {
    platform::Event event(platform::Event::Reset::Auto);
    std::thread setter([&] {
        std::this_thread::sleep_for(milliseconds(20));
        event.set();
    });
    EXPECT_TRUE(event.wait(milliseconds(10000)));
    setter.join();
}

TEST(ShareableEvent, SignalThroughTheDescriptorWakesOneWait) {
    auto event = platform::ShareableEvent::create();
    ASSERT_TRUE(event);
    EXPECT_GE(event->handle(), 0);
    EXPECT_FALSE(event->wait(milliseconds(0)));
    // The driver writes to its copy of the descriptor; two signals before a wait count once.
    int copy = ::dup(event->handle());
    uint64_t one = 1;
    ASSERT_EQ(::write(copy, &one, sizeof(one)), 8);
    ASSERT_EQ(::write(copy, &one, sizeof(one)), 8);
    ::close(copy);
    EXPECT_TRUE(event->wait(milliseconds(1000)));
    EXPECT_FALSE(event->wait(milliseconds(5)));
    EXPECT_TRUE(event->set());
    EXPECT_TRUE(event->wait(milliseconds(0)));
}

}  // namespace
