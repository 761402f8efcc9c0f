// The drive mask the engine hands the driver: the present drives, less those that are not fixed
// disks, network drives or RAM disks.
#pragma once

#include <cstdint>

#include "platform/drives.h"

namespace engine {

uint32_t selectDrives(const platform::DriveTable& drives);

}  // namespace engine
