#include "drive_selection.h"

namespace engine {

uint32_t selectDrives(const platform::DriveTable& drives) {
    uint32_t mask = drives.presentMask();
    for (unsigned i = 0; i < 32; ++i) {
        uint32_t bit = 1u << i;
        if (!(mask & bit))
            continue;
        platform::DriveType type = drives.typeOf(i);
        if (type != platform::DriveType::Fixed && type != platform::DriveType::Remote &&
            type != platform::DriveType::RamDisk)
            mask &= ~bit;
    }
    return mask;
}

}  // namespace engine
