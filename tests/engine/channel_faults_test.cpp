// A driver that fails, cuts or breaks a reply, or drops the connection mid-request: every item
// and filter function reports failure, and the next call reopens its handle and succeeds.
#include "engine_fixture.h"

namespace enginetest {
namespace {

struct Operation {
    const char* name;
    uint32_t code;
    std::function<bool()> call;  // true on success
};

std::vector<Operation> operations() {
    return {
        {"FM_ClearItems", IOCTL_CONTROL_CLEAR_ITEMS, [] { return engine::clearItems() == 1; }},
        {"FM_ApplyItems", IOCTL_CONTROL_APPLY_ITEMS,
         [] {
             engine::addItems("C:\\A", 4, "A:", 2);
             return engine::applyItems() == 1;
         }},
        {"FM_GetItems", IOCTL_CONTROL_GET_ITEMS, [] { return engine::getItems() != nullptr; }},
        {"FM_SetControl", IOCTL_CONTROL_PROTECT_ON, [] { return engine::setControl(1) == 1; }},
        {"FM_SetExeDfd", IOCTL_CONTROL_EXE_OFF, [] { return engine::setExeDfd(0) == 1; }},
        {"FM_SetFilter", IOCTL_VESTRAL_SET_FILTER,
         [] { return engine::setFilter("*", "", "*", "", 1, 1) == 1; }},
    };
}

TEST_F(EngineTest, BrokenRepliesFailTheCallAndTheNextCallReopens) {
    const fake::Fault faults[] = {fake::Fault::Fail, fake::Fault::Drop, fake::Fault::BrokenReply};
    for (const Operation& op : operations()) {
        for (fake::Fault fault : faults) {
            SCOPED_TRACE(std::string(op.name) + " fault " +
                         std::to_string(static_cast<int>(fault)));
            ASSERT_TRUE(op.call());  // a handle is open
            driver.injectFault(op.code, fault, EIO, 1);
            EXPECT_FALSE(op.call());
            EXPECT_TRUE(op.call());
        }
    }
}

TEST_F(EngineTest, AbsentOrRefusingDriverFailsEveryCall) {
    for (bool refuse : {false, true}) {
        SCOPED_TRACE(refuse ? "refused" : "absent");
        if (refuse) {
            driver.refuseConnections();
        } else {
            driver.stop();
        }
        for (const Operation& op : operations()) {
            SCOPED_TRACE(op.name);
            EXPECT_FALSE(op.call());
        }
        EXPECT_EQ(engine::withdrawQuestionEvent(), 0);
        driver.restart();
        for (const Operation& op : operations()) {
            SCOPED_TRACE(op.name);
            EXPECT_TRUE(op.call());
        }
        engine::resetItems();
    }
}

// Connections that the driver closed between calls (a restarted driver) are noticed by the next
// request, which fails; the one after it runs on a new connection.
TEST_F(EngineTest, ConnectionsClosedBetweenCallsAreReopened) {
    ASSERT_EQ(engine::setExeDfd(1), 1);
    driver.dropConnections();
    EXPECT_EQ(engine::setExeDfd(1), 0);
    EXPECT_EQ(engine::setExeDfd(1), 1);
    EXPECT_EQ(driver.connectionsAccepted(VESTRAL_CONTROL_DEVICE), 2);
}

}  // namespace
}  // namespace enginetest
