// The request handle's part of the start-up: withdrawing a question event that the driver may
// still hold from an earlier run.
#include "engine_api.h"
#include "engine_state.h"

namespace engine {

int withdrawQuestionEvent() {
    uint32_t none = 0;
    return EngineState::instance().requests.request(IOCTL_CONTROL_SET_QUESTION_EVENT, &none,
                                                    sizeof(none), nullptr, 0)
               ? 1
               : 0;
}

}  // namespace engine
