// The mounted file systems in the order of /proc/self/mountinfo: bit i of a drive mask stands
// for the i-th of them (the first 32 count).
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace vestrald {

struct MountEntry {
    std::string mountPoint;
    std::string fsType;
};

// Parses the text of a mountinfo file (octal escapes such as \040 decoded).
std::vector<MountEntry> parseMountInfo(std::string_view text);
std::vector<MountEntry> readMountTable();

// Pseudo file systems the filter never watches: the daemon reads /proc while it decides, so a
// watched /proc would make it wait for itself.
bool isPseudoFileSystem(std::string_view fsType);

// Mount points selected by `mask`, without pseudo file systems and, when `allowed` is not
// empty, only those listed there.
std::vector<std::string> selectMounts(const std::vector<MountEntry>& table, uint32_t mask,
                                      const std::vector<std::string>& allowed);

}  // namespace vestrald
