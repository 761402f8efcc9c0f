// The exported C functions of libvestral.so. Each is a thin wrapper that never lets an exception
// out and maps one to the function's failure value.
#include "engine_api.h"
#include "vestral.h"

namespace {

template <typename Result, typename Call>
Result guarded(Result failure, Call call) noexcept {
    try {
        return call();
    } catch (...) {
        return failure;
    }
}

}  // namespace

extern "C" {

VESTRAL_API int FM_Init(void) {
    return guarded(0, [] { return engine::init(); });
}

VESTRAL_API int FM_ClearItems(void) {
    return guarded(0, [] { return engine::clearItems(); });
}

VESTRAL_API ItemTable* FM_AddItems(const char* name, uint32_t nameLength, const char* programs,
                                   uint32_t programsLength) {
    return guarded<ItemTable*>(
        nullptr, [&] { return engine::addItems(name, nameLength, programs, programsLength); });
}

VESTRAL_API void FM_ResetItems(void) {
    guarded(0, [] {
        engine::resetItems();
        return 0;
    });
}

VESTRAL_API int FM_ApplyItems(void) {
    return guarded(0, [] { return engine::applyItems(); });
}

VESTRAL_API ItemTable* FM_GetItems(void) {
    return guarded<ItemTable*>(nullptr, [] { return engine::getItems(); });
}

VESTRAL_API int FM_SetControl(int on) {
    return guarded(0, [on] { return engine::setControl(on); });
}

VESTRAL_API int FM_SetExeDfd(int on) {
    return guarded(0, [on] { return engine::setExeDfd(on); });
}

VESTRAL_API int FM_SetFilter(const char* pattern1, const char* pattern2, const char* pattern3,
                             const char* pattern4, int switch1, int switch2) {
    return guarded(0, [&] {
        return engine::setFilter(pattern1, pattern2, pattern3, pattern4, switch1, switch2);
    });
}

VESTRAL_API void* FM_SetCallBackFunc(void* function) {
    return guarded<void*>(function, [function] { return engine::setCallBackFunc(function); });
}

VESTRAL_API FM_EventFunc FM_SetObjectEventFunc(FM_EventFunc function) {
    return guarded<FM_EventFunc>(function,
                                 [function] { return engine::setObjectEventFunc(function); });
}

VESTRAL_API FM_EventFunc FM_SetWarningEventFunc(FM_EventFunc function) {
    return guarded<FM_EventFunc>(function,
                                 [function] { return engine::setWarningEventFunc(function); });
}

}  // extern "C"
