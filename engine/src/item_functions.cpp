// The item-table and switch functions: each goes to the item store, which holds the table and
// the item handle under one lock.
#include <cerrno>

#include "engine_api.h"
#include "engine_state.h"
#include "error_box.h"

namespace engine {

int clearItems() {
    return EngineState::instance().items.clear();
}

ItemTable* addItems(const char* name, uint32_t nameLength, const char* programs,
                    uint32_t programsLength) {
    EngineState& state = EngineState::instance();
    bool allocationFailed = false;
    ItemTable* table =
        state.items.add(name, nameLength, programs, programsLength, &allocationFailed);
    if (allocationFailed)
        showErrorBox(state.environment(), "error int Add item1!", ENOMEM, state.ntFamily);
    return table;
}

void resetItems() {
    EngineState::instance().items.reset();
}

int applyItems() {
    return EngineState::instance().items.apply();
}

ItemTable* getItems() {
    return EngineState::instance().items.fetch();
}

int setControl(int on) {
    EngineState& state = EngineState::instance();
    return state.items.setProtection(on != 0, state.protectionActive);
}

int setExeDfd(int on) {
    return EngineState::instance().items.setExeProtection(on != 0);
}

}  // namespace engine
