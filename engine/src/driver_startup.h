// Bringing the filter driver up through the service control manager and opening the monitor
// device: the first part of the engine's start-up.
#pragma once

#include <chrono>
#include <string>

#include "device_slot.h"
#include "engine_environment.h"
#include "platform/service_manager.h"

namespace engine {

inline constexpr const char* kDriverServiceName = VESTRAL_DRIVER_SERVICE;
// A driver that reports start-pending is asked again this often, a second apart.
inline constexpr int kStartPendingTries = 240;
inline constexpr std::chrono::milliseconds kStartPendingWait{1000};

// The definition of the driver service: kernel driver, automatic start, normal error control,
// the driver file as found, no group, no dependencies; it creates the two devices.
platform::ServiceConfig driverServiceConfig(const std::string& driverPath);

// Installs the driver service when missing, brings it to the running state (failures of these
// steps are not reported) and opens a new monitor handle into `monitor`. True exactly when the
// monitor device opened.
bool startDriver(const Environment& env, const std::string& driverPath, DeviceSlot& monitor);

}  // namespace engine
