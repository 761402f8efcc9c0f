// FM_Init: brings the driver up and readies the engine, in ten steps.
#include "drive_selection.h"
#include "driver_startup.h"
#include "engine_api.h"
#include "engine_state.h"
#include "error_box.h"
#include "platform/system_error.h"

namespace engine {

int init() {
    EngineState& state = EngineState::instance();
    const Environment env = state.environment();

    bool nt = env.isNtFamily ? env.isNtFamily() : true;
    state.ntFamily = nt;
    if (!nt) {
        showErrorBox(env, "Please run in nt!", platform::lastSystemError(), nt);
        return 0;
    }

    auto driverFile = env.findDriverFile ? env.findDriverFile() : std::nullopt;
    if (!driverFile)
        return 0;

    if (!startDriver(env, *driverFile, state.monitor))
        return 0;

    // Exactly version 400, from a whole 4-byte answer of this request.
    uint32_t version = 0;
    uint32_t returned = 0;
    if (!state.monitor.request(IOCTL_VESTRAL_GET_VERSION, nullptr, 0, &version, sizeof(version),
                               &returned) ||
        returned != sizeof(version) || version != VESTRAL_INTERFACE_VERSION)
        return 0;

    if (!state.monitor.request(IOCTL_VESTRAL_STARTUP, nullptr, 0, nullptr, 0))
        return 0;

    uint32_t mask = env.drives ? selectDrives(env.drives()) : 0;
    if (!state.monitor.request(IOCTL_VESTRAL_SET_DRIVES, &mask, sizeof(mask), &mask, sizeof(mask)))
        return 0;

    if (!state.items.openHandle())
        return 0;

    withdrawQuestionEvent();  // a left-over event of an earlier run; the result does not matter

    state.generalCallback = nullptr;
    state.objectCallback = nullptr;
    state.warningCallback = nullptr;
    state.items.reset();
    return 1;
}

}  // namespace engine
