#include "fake_service_manager.h"

#include <algorithm>

namespace fake {

namespace {

using platform::ServiceError;
using platform::ServiceState;

class FakeServiceManager : public platform::ServiceManager {
  public:
    explicit FakeServiceManager(FakeServiceRegistry& registry) : registry_(registry) {}

    bool exists(const std::string& name) override {
        std::lock_guard lock(registry_.mutex);
        record("exists", name);
        return registry_.services.count(name) ? succeed() : fail(ServiceError::NotFound);
    }

    std::optional<platform::ServiceConfig> config(const std::string& name) override {
        std::lock_guard lock(registry_.mutex);
        record("config", name);
        auto it = registry_.services.find(name);
        if (it == registry_.services.end()) {
            fail(ServiceError::NotFound);
            return std::nullopt;
        }
        succeed();
        return it->second.config;
    }

    bool create(const platform::ServiceConfig& config) override {
        std::lock_guard lock(registry_.mutex);
        record("create", config.name);
        if (registry_.services.count(config.name))
            return fail(ServiceError::Exists);
        registry_.services[config.name].config = config;
        return succeed();
    }

    bool remove(const std::string& name) override {
        std::lock_guard lock(registry_.mutex);
        record("remove", name);
        return registry_.services.erase(name) ? succeed() : fail(ServiceError::NotFound);
    }

    bool start(const std::string& name) override {
        std::lock_guard lock(registry_.mutex);
        record("start", name);
        auto it = registry_.services.find(name);
        if (it == registry_.services.end())
            return fail(ServiceError::NotFound);
        FakeServiceRegistry::Service& service = it->second;
        if (service.state != ServiceState::Stopped)
            return fail(ServiceError::AlreadyRunning);
        if (service.failStart)
            return fail(ServiceError::SystemError, 5);
        service.state = service.stateAfterStart;
        return succeed();
    }

    std::optional<ServiceState> query(const std::string& name) override {
        std::lock_guard lock(registry_.mutex);
        record("query", name);
        auto it = registry_.services.find(name);
        if (it == registry_.services.end()) {
            fail(ServiceError::NotFound);
            return std::nullopt;
        }
        succeed();
        FakeServiceRegistry::Service& service = it->second;
        if (!service.scriptedQueries.empty()) {
            ServiceState next = service.scriptedQueries.front();
            service.scriptedQueries.pop_front();
            return next;
        }
        return service.state;
    }

    bool stop(const std::string& name) override {
        std::lock_guard lock(registry_.mutex);
        record("stop", name);
        auto it = registry_.services.find(name);
        if (it == registry_.services.end())
            return fail(ServiceError::NotFound);
        if (it->second.state == ServiceState::Stopped)
            return fail(ServiceError::NotActive);
        it->second.state = ServiceState::Stopped;
        return succeed();
    }

  private:
    void record(const char* what, const std::string& name) {
        registry_.calls.push_back(std::string(what) + " " + name);
    }

    FakeServiceRegistry& registry_;
};

}  // namespace

std::unique_ptr<platform::ServiceManager> FakeServiceRegistry::open() {
    std::lock_guard lock(mutex);
    ++managersOpened;
    return std::make_unique<FakeServiceManager>(*this);
}

std::vector<std::string> FakeServiceRegistry::callLog() {
    std::lock_guard lock(mutex);
    return calls;
}

size_t FakeServiceRegistry::countCalls(const std::string& call) {
    std::lock_guard lock(mutex);
    return static_cast<size_t>(std::count(calls.begin(), calls.end(), call));
}

}  // namespace fake
