// The drive mask of this platform: bit i stands for the i-th mounted file system listed in
// /proc/self/mountinfo (the first 32), and each has a drive type with the Windows numbers.
// The mount list and the removable-media probe are injectable so tests need no real mounts.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

namespace platform {

enum class DriveType : uint32_t {
    Unknown = 0,
    NoRootDir = 1,  // no drive at that position
    Removable = 2,
    Fixed = 3,
    Remote = 4,
    CdRom = 5,
    RamDisk = 6,
};

struct MountEntry {
    unsigned major = 0;
    unsigned minor = 0;
    std::string mountPoint;  // octal escapes (\040 ...) decoded
    std::string fsType;
    std::string source;
};

// The mounts of a mountinfo text; malformed lines are skipped.
std::vector<MountEntry> parseMountInfo(std::string_view text);

// Whether the block device major:minor holds removable media.
using RemovableProbe = std::function<bool(unsigned major, unsigned minor)>;

// The type of one mount: tmpfs/ramfs a RAM disk, network file systems remote, iso9660/udf
// optical, a disk file system fixed unless its device is removable, anything else (proc, sysfs,
// cgroup ...) unknown.
DriveType classifyMount(const MountEntry& mount, const RemovableProbe& isRemovable);

class DriveTable {
  public:
    DriveTable(std::vector<MountEntry> mounts, RemovableProbe isRemovable);
    // The running system's mounts (/proc/self/mountinfo, removable flags from /sys/dev/block).
    static DriveTable current();

    // One bit per mounted file system, for the first 32.
    uint32_t presentMask() const;
    // The type of drive `index` (0 to 31); NoRootDir where there is none.
    DriveType typeOf(unsigned index) const;

  private:
    std::vector<MountEntry> mounts_;
    RemovableProbe isRemovable_;
};

}  // namespace platform
