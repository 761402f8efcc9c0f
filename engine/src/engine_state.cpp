#include "engine_state.h"

namespace engine {

EngineState& EngineState::instance() {
    // Built on first use and never destroyed: threads of the engine may still run while the
    // process ends.
    static EngineState* state = new EngineState();
    return *state;
}

EngineState::EngineState() : environment_(systemEnvironment()) {}

Environment EngineState::environment() const {
    std::lock_guard lock(environmentMutex_);
    return environment_;
}

void EngineState::setEnvironment(Environment env) {
    std::lock_guard lock(environmentMutex_);
    environment_ = std::move(env);
}

void EngineState::resetForTesting() {
    monitor.close();
    requests.close();
    items.releaseAll();
    protectionActive = false;
    ntFamily = false;
    generalCallback = nullptr;
    objectCallback = nullptr;
    warningCallback = nullptr;
    {
        std::lock_guard lock(filterMutex);
        filter = MonitorFilter{};
    }
    setEnvironment(systemEnvironment());
}

}  // namespace engine
