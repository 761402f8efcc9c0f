// FM_Init: the driver service, the start-up requests in their order, and every way it fails.
#include "driver_startup.h"
#include "engine_fixture.h"

namespace enginetest {
namespace {

using platform::ServiceState;

void dummyEvent(const EventRecord*) {}

TEST_F(EngineTest, InitInstallsStartsAndReadiesTheDriver) {
    auto& state = engine::EngineState::instance();
    engine::setObjectEventFunc(dummyEvent);
    engine::setWarningEventFunc(dummyEvent);
    engine::setCallBackFunc(reinterpret_cast<void*>(&dummyEvent));
    add("c:\\pending", "a:");

    ASSERT_EQ(engine::init(), 1);

    // A missing driver service is created with the driver file as found and started at once.
    auto& service = services.services.at(VESTRAL_DRIVER_SERVICE);
    const platform::ServiceConfig& config = service.config;
    EXPECT_EQ(config.displayName, "VESTRAL");
    EXPECT_EQ(config.type, platform::ServiceType::KernelDriver);
    EXPECT_EQ(config.startType, platform::StartType::Automatic);
    EXPECT_EQ(config.errorControl, platform::ErrorControl::Normal);
    EXPECT_EQ(config.binaryPath, kDriverPath);
    EXPECT_TRUE(config.loadOrderGroup.empty());
    EXPECT_TRUE(config.dependencies.empty());
    EXPECT_EQ(services.callLog(), (std::vector<std::string>{"exists VESTRAL", "create VESTRAL",
                                                            "start VESTRAL", "query VESTRAL"}));

    EXPECT_EQ(driver.codes(),
              (std::vector<uint32_t>{IOCTL_VESTRAL_GET_VERSION, IOCTL_VESTRAL_STARTUP,
                                     IOCTL_VESTRAL_SET_DRIVES, IOCTL_CONTROL_SET_QUESTION_EVENT}));
    EXPECT_EQ(driver.driveMask(), 0b101u);  // the disk and the tmpfs; procfs left out
    // The withdrawal carries a zero on the request handle, a handle apart from the item handle.
    auto withdrawal = driver.log().back();
    EXPECT_EQ(withdrawal.input, std::vector<uint8_t>(4, 0));
    EXPECT_FALSE(withdrawal.passedFd);
    EXPECT_EQ(driver.connectionsAccepted(VESTRAL_CONTROL_DEVICE), 2);
    EXPECT_TRUE(state.items.handleOpen());

    EXPECT_TRUE(state.ntFamily);
    EXPECT_EQ(state.objectCallback.load(), nullptr);
    EXPECT_EQ(state.warningCallback.load(), nullptr);
    EXPECT_EQ(state.generalCallback.load(), nullptr);
    EXPECT_EQ(engineTable(), nullptr);
    EXPECT_TRUE(boxes.empty());
}

TEST_F(EngineTest, InitUsesAnInstalledDriverServiceAsItIs) {
    struct Case {
        const char* what;
        ServiceState state;
        std::vector<ServiceState> queries;  // answers before `state`
        std::vector<std::string> calls;     // after "exists VESTRAL"
        size_t sleeps;
    };
    const std::vector<std::string> queryOnly = {"query VESTRAL"};
    const Case cases[] = {
        {"running: only opened", ServiceState::Running, {}, {"query VESTRAL"}, 0},
        {"stopped: started", ServiceState::Stopped, {}, {"query VESTRAL", "start VESTRAL"}, 0},
        {"stop pending: started",
         ServiceState::StopPending,
         {},
         {"query VESTRAL", "start VESTRAL"},
         0},
        {"start pending, then running after two waits",
         ServiceState::Running,
         {ServiceState::StartPending, ServiceState::StartPending, ServiceState::StartPending},
         {"query VESTRAL", "query VESTRAL", "query VESTRAL", "query VESTRAL"},
         2},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        services.calls.clear();
        sleeps.clear();
        auto& service = services.services[VESTRAL_DRIVER_SERVICE];
        service.config = engine::driverServiceConfig("/elsewhere/vestrald");
        service.state = c.state;
        service.scriptedQueries.assign(c.queries.begin(), c.queries.end());

        EXPECT_EQ(engine::init(), 1);
        std::vector<std::string> expected = {"exists VESTRAL"};
        expected.insert(expected.end(), c.calls.begin(), c.calls.end());
        EXPECT_EQ(services.callLog(), expected);
        EXPECT_EQ(service.config.binaryPath, "/elsewhere/vestrald");  // never changed
        EXPECT_EQ(sleeps.size(), c.sleeps);
    }
}

// A driver stuck in start-pending delays the start-up by 240 waits of a second; the monitor
// device alone then decides.
TEST_F(EngineTest, InitWaitsAtMost240SecondsForAStartPendingDriver) {
    auto& service = services.services[VESTRAL_DRIVER_SERVICE];
    service.config = engine::driverServiceConfig(kDriverPath);
    service.state = ServiceState::StartPending;
    EXPECT_EQ(engine::init(), 1);
    ASSERT_EQ(sleeps.size(), 240u);
    EXPECT_EQ(sleeps.front(), std::chrono::milliseconds(1000));
    EXPECT_EQ(services.countCalls("query VESTRAL"), 241u);
    EXPECT_EQ(services.countCalls("start VESTRAL"), 0u);
}

// Failures of the service steps are not reported: only the monitor device decides.
TEST_F(EngineTest, InitIgnoresServiceFailuresWhenTheDeviceOpens) {
    auto& service = services.services[VESTRAL_DRIVER_SERVICE];
    service.config = engine::driverServiceConfig(kDriverPath);
    service.failStart = true;
    EXPECT_EQ(engine::init(), 1);

    engine::Environment env = environment();
    env.openServiceManager = [] { return std::unique_ptr<platform::ServiceManager>(); };
    engine::EngineState::instance().setEnvironment(env);
    EXPECT_EQ(engine::init(), 1);
}

TEST_F(EngineTest, InitFailsWithoutDriverFileBeforeAnyServiceStep) {
    driverFile.reset();
    EXPECT_EQ(engine::init(), 0);
    EXPECT_TRUE(services.callLog().empty());
    EXPECT_TRUE(driver.log().empty());
    EXPECT_TRUE(boxes.empty());
}

TEST_F(EngineTest, InitRefusesAnotherSystemFamilyWithTheErrorBox) {
    ntFamily = false;
    errno = ENOENT;
    EXPECT_EQ(engine::init(), 0);
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_EQ(boxes[0].first, "Corvantis");
    EXPECT_EQ(boxes[0].second.rfind("Please run in nt!: ", 0), 0u) << boxes[0].second;
    EXPECT_FALSE(engine::EngineState::instance().ntFamily);
    EXPECT_TRUE(driver.log().empty());
}

TEST_F(EngineTest, InitFailsSilentlyOnEachStartUpRequest) {
    struct Case {
        const char* what;
        std::function<void(fake::FakeDriver&)> spoil;
    };
    const Case cases[] = {
        {"driver absent", [](fake::FakeDriver& d) { d.stop(); }},
        {"connection refused", [](fake::FakeDriver& d) { d.refuseConnections(); }},
        {"version 401", [](fake::FakeDriver& d) { d.setVersion(401); }},
        {"version request fails",
         [](fake::FakeDriver& d) { d.injectFault(IOCTL_VESTRAL_GET_VERSION, fake::Fault::Fail); }},
        {"version answer cut short",
         [](fake::FakeDriver& d) {
             d.injectFault(IOCTL_VESTRAL_GET_VERSION, fake::Fault::ShortReply);
         }},
        {"start-up request fails",
         [](fake::FakeDriver& d) { d.injectFault(IOCTL_VESTRAL_STARTUP, fake::Fault::Fail); }},
        {"drive mask refused",
         [](fake::FakeDriver& d) { d.injectFault(IOCTL_VESTRAL_SET_DRIVES, fake::Fault::Fail); }},
        {"connection dropped at the drive mask",
         [](fake::FakeDriver& d) { d.injectFault(IOCTL_VESTRAL_SET_DRIVES, fake::Fault::Drop); }},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        c.spoil(driver);
        EXPECT_EQ(engine::init(), 0);
        EXPECT_TRUE(boxes.empty());
        EXPECT_EQ(driver.count(IOCTL_CONTROL_SET_QUESTION_EVENT), 0u);
        driver.clearFaults();
        driver.setVersion(VESTRAL_INTERFACE_VERSION);
        driver.restart();
        EXPECT_EQ(engine::init(), 1);  // the next call starts afresh
        driver.clearLog();
    }
}

TEST_F(EngineTest, InitIgnoresAFailedWithdrawal) {
    driver.injectFault(IOCTL_CONTROL_SET_QUESTION_EVENT, fake::Fault::Fail);
    EXPECT_EQ(engine::init(), 1);
}

TEST_F(EngineTest, SecondInitRepeatsEveryStepOnANewMonitorHandle) {
    ASSERT_EQ(engine::init(), 1);
    ASSERT_EQ(engine::init(), 1);
    EXPECT_EQ(driver.connectionsAccepted(VESTRAL_MONITOR_DEVICE), 2);
    EXPECT_EQ(driver.count(IOCTL_VESTRAL_STARTUP), 2u);
    // The item and request handles were open already and are kept.
    EXPECT_EQ(driver.connectionsAccepted(VESTRAL_CONTROL_DEVICE), 2);
    auto log = driver.log();
    EXPECT_NE(log[0].connection, log[4].connection);
}

}  // namespace
}  // namespace enginetest
