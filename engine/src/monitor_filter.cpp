// FM_SetFilter: the four patterns and two switches, upper-cased into the engine's filter block
// and sent to the monitor device.
#include <cstring>

#include "engine_api.h"
#include "engine_state.h"

namespace engine {

namespace {

// A pattern must fit its field with its terminating zero; a longer one is refused rather than
// cut, since a cut pattern would select other files than the caller named.
bool fits(const char* pattern) {
    return pattern && ::strnlen(pattern, VESTRAL_FILTER_PATTERN_SIZE) < VESTRAL_FILTER_PATTERN_SIZE;
}

void storeUpperCase(char (&field)[VESTRAL_FILTER_PATTERN_SIZE], const char* pattern) {
    std::memset(field, 0, sizeof(field));
    for (size_t i = 0; pattern[i]; ++i) {
        char c = pattern[i];
        field[i] = (c >= 'a' && c <= 'z') ? static_cast<char>(c - 'a' + 'A') : c;
    }
}

}  // namespace

int setFilter(const char* pattern1, const char* pattern2, const char* pattern3,
              const char* pattern4, int switch1, int switch2) {
    if (!fits(pattern1) || !fits(pattern2) || !fits(pattern3) || !fits(pattern4))
        return 0;
    EngineState& state = EngineState::instance();
    std::lock_guard lock(state.filterMutex);
    MonitorFilter& block = state.filter;
    storeUpperCase(block.Pattern1, pattern1);
    storeUpperCase(block.Pattern2, pattern2);
    storeUpperCase(block.Pattern3, pattern3);
    storeUpperCase(block.Pattern4, pattern4);
    block.Switch1 = static_cast<uint8_t>(switch1 & 0xFF);
    block.Switch2 = static_cast<uint8_t>(switch2 & 0xFF);
    return state.monitor.request(IOCTL_VESTRAL_SET_FILTER, &block, sizeof(block), nullptr, 0) ? 1
                                                                                              : 0;
}

}  // namespace engine
