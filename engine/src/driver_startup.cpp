#include "driver_startup.h"

#include "vestral.h"

namespace engine {

platform::ServiceConfig driverServiceConfig(const std::string& driverPath) {
    platform::ServiceConfig config;
    config.name = kDriverServiceName;
    config.displayName = kDriverServiceName;
    config.type = platform::ServiceType::KernelDriver;
    config.startType = platform::StartType::Automatic;
    config.errorControl = platform::ErrorControl::Normal;
    config.binaryPath = driverPath;
    config.devices = {VESTRAL_MONITOR_DEVICE, VESTRAL_CONTROL_DEVICE};
    return config;
}

namespace {

// An installed service is used as it is: its path and settings are neither read nor changed.
void bringDriverUp(const Environment& env, platform::ServiceManager& scm,
                   const std::string& driverPath) {
    if (!scm.exists(kDriverServiceName)) {
        if (scm.create(driverServiceConfig(driverPath)))
            scm.start(kDriverServiceName);
    }
    auto state = scm.query(kDriverServiceName);
    if (state == platform::ServiceState::Running)
        return;
    if (state == platform::ServiceState::StartPending) {
        for (int i = 0; i < kStartPendingTries; ++i) {
            if (scm.query(kDriverServiceName) == platform::ServiceState::Running)
                return;
            if (env.sleep)
                env.sleep(kStartPendingWait);
        }
        return;
    }
    // Stopped, stopping or not to be queried: start it. Already running counts as started,
    // and the outcome is not used: only the monitor device decides.
    scm.start(kDriverServiceName);
}

}  // namespace

bool startDriver(const Environment& env, const std::string& driverPath, DeviceSlot& monitor) {
    if (auto scm = env.openServiceManager ? env.openServiceManager() : nullptr)
        bringDriverUp(env, *scm, driverPath);
    return monitor.reopen();
}

}  // namespace engine
