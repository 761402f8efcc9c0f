// The mounted file systems in the order of /proc/self/mountinfo: bit i of a drive mask stands
// for the i-th of them (the first 32 count).
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "platform/drives.h"

namespace vestrald {

// Parsed by the same code as the engine's drive mask, so that both count the mounts alike.
using platform::MountEntry;
using platform::parseMountInfo;

std::vector<MountEntry> readMountTable();

// Pseudo file systems the filter never watches: the daemon reads /proc while it decides, so a
// watched /proc would make it wait for itself.
bool isPseudoFileSystem(std::string_view fsType);

// Mount points selected by `mask`, without pseudo file systems and, when `allowed` is not
// empty, only those listed there.
std::vector<std::string> selectMounts(const std::vector<MountEntry>& table, uint32_t mask,
                                      const std::vector<std::string>& allowed);

}  // namespace vestrald
