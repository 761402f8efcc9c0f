// The service control manager: installing, starting, querying and stopping services such as the
// filter driver "VESTRAL" and the protection service "CorvantisSvc". Numbers follow the Windows
// service manager so that callers read the same values on every platform.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace platform {

enum class ServiceState : uint32_t {
    Stopped = 1,
    StartPending = 2,
    StopPending = 3,
    Running = 4,
};

enum class ServiceType : uint32_t {
    KernelDriver = 0x1,
    OwnProcess = 0x10,
};

enum class StartType : uint32_t {
    Boot = 0,
    System = 1,
    Automatic = 2,
    Demand = 3,
    Disabled = 4,
};

enum class ErrorControl : uint32_t {
    Ignore = 0,
    Normal = 1,
    Severe = 2,
    Critical = 3,
};

// What a failed call ran into.
enum class ServiceError {
    None,
    NotFound,          // no service of that name
    Exists,            // create: the name is taken
    AlreadyRunning,    // start: it runs already
    NotActive,         // stop: it does not run
    Disabled,          // start: its start type is Disabled
    DependencyFailed,  // start: a dependency is missing or would not start
    BadConfig,         // create: a name or path the manager cannot keep
    SystemError,       // the system refused (see ServiceManager::lastSystemError)
};

struct ServiceConfig {
    std::string name;
    std::string displayName;
    ServiceType type = ServiceType::OwnProcess;
    bool interactive = false;  // allowed to interact with the desktop
    StartType startType = StartType::Demand;
    ErrorControl errorControl = ErrorControl::Normal;
    // The program and its arguments; a part in double quotes may hold spaces.
    std::string binaryPath;
    std::string loadOrderGroup;
    std::vector<std::string> dependencies;  // services started first
    // Devices a kernel-driver service creates; it counts as running once they all exist in the
    // device folder (deviceDirectory()). Not used for other service types.
    std::vector<std::string> devices;
};

class ServiceManager {
  public:
    virtual ~ServiceManager() = default;

    // Whether a service of that name is installed (opening it by name).
    virtual bool exists(const std::string& name) = 0;
    // The installed definition; empty when there is none.
    virtual std::optional<ServiceConfig> config(const std::string& name) = 0;
    // Installs a new service. Fails with Exists when the name is taken: an installed service is
    // never changed by create.
    virtual bool create(const ServiceConfig& config) = 0;
    // Removes a service's definition (a running process is left alone).
    virtual bool remove(const std::string& name) = 0;
    // Starts the service, its dependencies first (each waited for until it runs). A kernel
    // driver is waited for until it runs; another service returns once its program is launched
    // and reports StartPending until it is up. Fails with AlreadyRunning when it runs.
    virtual bool start(const std::string& name) = 0;
    // The current state; empty when the service does not exist or cannot be queried.
    virtual std::optional<ServiceState> query(const std::string& name) = 0;
    // Asks the service to stop. Fails with NotActive when it is not running.
    virtual bool stop(const std::string& name) = 0;

    // Why the last failed call failed, and the errno value behind a SystemError.
    ServiceError lastError() const { return lastError_; }
    int lastSystemError() const { return lastSystemError_; }

  protected:
    bool fail(ServiceError error, int systemError = 0) {
        lastError_ = error;
        lastSystemError_ = systemError;
        return false;
    }
    bool succeed() {
        lastError_ = ServiceError::None;
        lastSystemError_ = 0;
        return true;
    }

  private:
    ServiceError lastError_ = ServiceError::None;
    int lastSystemError_ = 0;
};

// The manager of this machine. Null when it cannot be opened (for the local manager: its
// registry folder cannot be created).
std::unique_ptr<ServiceManager> openServiceManager();

}  // namespace platform
