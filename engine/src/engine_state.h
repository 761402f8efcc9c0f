// The engine's process-wide state: one set per process that loads the engine. It owns the three
// device handles (monitor, item, request), the item table, the filter block, the flags and the
// callback pointers. The caller's thread changes it through the FM_ functions; the event capture
// and access-request threads read the flags and callbacks and borrow the handles.
#pragma once

#include <atomic>
#include <mutex>

#include "device_slot.h"
#include "engine_environment.h"
#include "item_store.h"
#include "vestral.h"

namespace engine {

class EngineState {
  public:
    static EngineState& instance();

    DeviceSlot monitor{VESTRAL_MONITOR_DEVICE};
    // The request handle: access questions and replies, apart from the item handle.
    DeviceSlot requests{VESTRAL_CONTROL_DEVICE};
    // The item table and the item handle, behind their own lock.
    ItemStore items;

    // Set while protection is on; events have an effect only then.
    std::atomic<bool> protectionActive{false};
    // Whether FM_Init found the supported system family.
    std::atomic<bool> ntFamily{false};

    std::atomic<void*> generalCallback{nullptr};
    std::atomic<FM_EventFunc> objectCallback{nullptr};
    std::atomic<FM_EventFunc> warningCallback{nullptr};

    // The engine's copy of the filter block; filterMutex guards it.
    std::mutex filterMutex;
    MonitorFilter filter{};

    // A copy of the pieces of the outside world in use.
    Environment environment() const;
    // Replaces them (tests); the system's pieces are in use until then.
    void setEnvironment(Environment env);

    // Back to the state at load: handles closed, table released, flags and callbacks cleared,
    // the system's environment restored (test isolation).
    void resetForTesting();

  private:
    EngineState();

    mutable std::mutex environmentMutex_;
    Environment environment_;
};

}  // namespace engine
