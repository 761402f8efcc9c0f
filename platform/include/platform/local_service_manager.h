// The built-in service manager for machines without systemd (CI, containers). Its registry is a
// folder ($CORVANTIS_SCM_DIR, default /var/lib/corvantis/scm) with, per service NAME:
//   NAME.conf    the definition (key=value lines)
//   NAME.pid     "pid start-time" of the process it started (or adopted)
//   NAME.status  the state an own-process service last reported (a number, 1 to 4)
// A started program gets CORVANTIS_SCM_DIR and CORVANTIS_SCM_SERVICE=NAME in its environment so
// that it can report its state with reportStatus.
#pragma once

#include <chrono>
#include <functional>
#include <memory>
#include <set>
#include <string>

#include "platform/service_manager.h"

namespace platform {

class LocalServiceManager : public ServiceManager {
  public:
    using Sleep = std::function<void(std::chrono::milliseconds)>;

    // $CORVANTIS_SCM_DIR, else /var/lib/corvantis/scm.
    static std::string defaultRegistryDir();
    // Opens the registry folder, creating it when missing. Null when that fails.
    static std::unique_ptr<LocalServiceManager> open(const std::string& registryDir);

    bool exists(const std::string& name) override;
    std::optional<ServiceConfig> config(const std::string& name) override;
    bool create(const ServiceConfig& config) override;
    bool remove(const std::string& name) override;
    bool start(const std::string& name) override;
    std::optional<ServiceState> query(const std::string& name) override;
    bool stop(const std::string& name) override;

    // Records that process `pid` runs the service, as if this manager had started it (for a
    // program started by other means, and for tests). False when the process does not exist.
    bool adoptProcess(const std::string& name, int pid);

    // How long start waits for a dependency to report Running, and for a kernel driver it
    // started to create its devices; and how it waits (tests pass their own sleep).
    void setDependencyWait(std::chrono::milliseconds limit, Sleep sleep);

    // Called by a running own-process service to report its state. False on failure.
    static bool reportStatus(const std::string& registryDir, const std::string& name,
                             ServiceState state);

    const std::string& registryDir() const { return dir_; }

  private:
    explicit LocalServiceManager(std::string dir) : dir_(std::move(dir)) {}
    bool startWithDependencies(const std::string& name, std::set<std::string>& starting);
    // Queries until the service leaves StartPending or the wait limit passes; the last state.
    std::optional<ServiceState> waitWhileStarting(const std::string& name);
    std::string pathOf(const std::string& name, const char* suffix) const;

    std::string dir_;
    std::chrono::milliseconds dependencyLimit_{30000};
    Sleep sleep_;
};

}  // namespace platform
