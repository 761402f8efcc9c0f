// An in-memory service control manager for tests of code that installs and starts services.
// Every manager opened from one FakeServiceRegistry shares its services, its scripted states
// and its call log, so a test can inspect what the code under test did after it let go.
#pragma once

#include <deque>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "platform/service_manager.h"

namespace fake {

struct FakeServiceRegistry {
    struct Service {
        platform::ServiceConfig config;
        platform::ServiceState state = platform::ServiceState::Stopped;
        // States answered by the next queries, in order, before `state` is answered again.
        std::deque<platform::ServiceState> scriptedQueries;
        // The state a successful start leaves.
        platform::ServiceState stateAfterStart = platform::ServiceState::Running;
        bool failStart = false;
    };

    std::mutex mutex;
    std::map<std::string, Service> services;
    // "exists NAME", "config NAME", "create NAME", "remove NAME", "start NAME", "query NAME",
    // "stop NAME", in call order.
    std::vector<std::string> calls;
    int managersOpened = 0;

    // A manager on this registry (what an openServiceManager replacement returns).
    std::unique_ptr<platform::ServiceManager> open();
    std::vector<std::string> callLog();
    size_t countCalls(const std::string& call);
};

}  // namespace fake
