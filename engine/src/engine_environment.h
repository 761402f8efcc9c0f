// What the engine takes from the world outside the driver channel, gathered in one place so that
// tests can replace each piece: the service manager, the driver file search, sleeps, the drive
// list, the error box and the system check.
#pragma once

#include <chrono>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include "platform/drives.h"
#include "platform/service_manager.h"
#include "vestral.h"

namespace engine {

// The driver's program file, looked for in the program directory, then along PATH.
inline constexpr const char* kDriverFileName = VESTRAL_DRIVER_FILE;

struct Environment {
    // Opens the service control manager; null when it cannot be opened.
    std::function<std::unique_ptr<platform::ServiceManager>()> openServiceManager;
    // The full path of the driver file, or empty when it is found nowhere.
    std::function<std::optional<std::string>()> findDriverFile;
    std::function<void(std::chrono::milliseconds)> sleep;
    std::function<platform::DriveTable()> drives;
    // Shows a finished error-box text under the given title.
    std::function<void(std::string_view title, std::string_view text)> errorBox;
    std::function<bool()> isNtFamily;
};

// The real pieces of this machine.
Environment systemEnvironment();

}  // namespace engine
