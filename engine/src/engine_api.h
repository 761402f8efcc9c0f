// The engine's operations behind the exported FM_ functions, in plain C++. The exported wrappers
// (engine/exports.cpp) only add the C linkage and keep exceptions in; tests call these directly.
#pragma once

#include <cstdint>

#include "vestral.h"

namespace engine {

int init();
int clearItems();
ItemTable* addItems(const char* name, uint32_t nameLength, const char* programs,
                    uint32_t programsLength);
void resetItems();
int applyItems();
ItemTable* getItems();
int setControl(int on);
int setExeDfd(int on);
int setFilter(const char* pattern1, const char* pattern2, const char* pattern3,
              const char* pattern4, int switch1, int switch2);
void* setCallBackFunc(void* function);
FM_EventFunc setObjectEventFunc(FM_EventFunc function);
FM_EventFunc setWarningEventFunc(FM_EventFunc function);

// Tells the driver to forget any question event of an earlier run (0x8400002C with 0 on the
// request handle, opened first when needed). Non-zero when the driver accepted it.
int withdrawQuestionEvent();

}  // namespace engine
