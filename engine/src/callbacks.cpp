// The callback setters: each stores its pointer and hands it back. The event capture thread
// reads them; FM_Init clears them.
#include "engine_api.h"
#include "engine_state.h"

namespace engine {

void* setCallBackFunc(void* function) {
    EngineState::instance().generalCallback = function;
    return function;
}

FM_EventFunc setObjectEventFunc(FM_EventFunc function) {
    EngineState::instance().objectCallback = function;
    return function;
}

FM_EventFunc setWarningEventFunc(FM_EventFunc function) {
    EngineState::instance().warningCallback = function;
    return function;
}

}  // namespace engine
