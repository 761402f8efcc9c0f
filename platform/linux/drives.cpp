#include "platform/drives.h"

#include <algorithm>
#include <charconv>
#include <fstream>
#include <iterator>
#include <sstream>

namespace platform {

namespace {

// mountinfo writes space, tab, newline and backslash in names as \ooo.
std::string decodeEscapes(std::string_view text) {
    std::string out;
    out.reserve(text.size());
    for (size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '\\' && i + 3 < text.size() &&
            std::all_of(text.begin() + i + 1, text.begin() + i + 4,
                        [](char c) { return c >= '0' && c <= '7'; })) {
            int value = (text[i + 1] - '0') * 64 + (text[i + 2] - '0') * 8 + (text[i + 3] - '0');
            out += static_cast<char>(value & 0xFF);
            i += 3;
        } else {
            out += text[i];
        }
    }
    return out;
}

std::vector<std::string_view> splitSpaces(std::string_view line) {
    std::vector<std::string_view> fields;
    size_t pos = 0;
    while (pos < line.size()) {
        size_t end = line.find(' ', pos);
        if (end == std::string_view::npos)
            end = line.size();
        if (end > pos)
            fields.push_back(line.substr(pos, end - pos));
        pos = end + 1;
    }
    return fields;
}

bool parseDevice(std::string_view text, unsigned& major, unsigned& minor) {
    size_t colon = text.find(':');
    if (colon == std::string_view::npos)
        return false;
    const char* end = text.data() + text.size();
    auto first = std::from_chars(text.data(), text.data() + colon, major);
    auto second = std::from_chars(text.data() + colon + 1, end, minor);
    return first.ec == std::errc() && first.ptr == text.data() + colon &&
           second.ec == std::errc() && second.ptr == end;
}

bool inList(std::string_view value, std::initializer_list<std::string_view> list) {
    return std::find(list.begin(), list.end(), value) != list.end();
}

bool readFlag(const std::string& path, bool& value) {
    std::ifstream file(path);
    char c = 0;
    if (!(file >> c))
        return false;
    value = c == '1';
    return true;
}

}  // namespace

std::vector<MountEntry> parseMountInfo(std::string_view text) {
    std::vector<MountEntry> mounts;
    while (!text.empty()) {
        size_t newline = text.find('\n');
        std::string_view line = text.substr(0, newline);
        text.remove_prefix(newline == std::string_view::npos ? text.size() : newline + 1);

        // id parent major:minor root mount-point options [optional...] - type source super
        std::vector<std::string_view> fields = splitSpaces(line);
        auto dash = std::find(fields.begin() + std::min<size_t>(fields.size(), 6), fields.end(),
                              std::string_view("-"));
        if (fields.size() < 6 || dash == fields.end() || std::distance(dash, fields.end()) < 3)
            continue;
        MountEntry entry;
        if (!parseDevice(fields[2], entry.major, entry.minor))
            continue;
        entry.mountPoint = decodeEscapes(fields[4]);
        entry.fsType = decodeEscapes(dash[1]);
        entry.source = decodeEscapes(dash[2]);
        mounts.push_back(std::move(entry));
    }
    return mounts;
}

DriveType classifyMount(const MountEntry& mount, const RemovableProbe& isRemovable) {
    std::string_view type = mount.fsType;
    if (inList(type, {"tmpfs", "ramfs"}))
        return DriveType::RamDisk;
    if (inList(type, {"iso9660", "udf"}))
        return DriveType::CdRom;
    if (inList(type, {"nfs", "nfs4", "cifs", "smb3", "smbfs", "ncpfs", "afs", "ceph", "9p",
                      "glusterfs", "lustre", "fuse.sshfs", "fuse.davfs", "davfs"}))
        return DriveType::Remote;
    if (inList(type, {"ext2",    "ext3",     "ext4",    "xfs",    "btrfs",    "zfs",    "f2fs",
                      "jfs",     "reiserfs", "vfat",    "msdos",  "exfat",    "ntfs",   "ntfs3",
                      "fuseblk", "hfs",      "hfsplus", "nilfs2", "bcachefs", "overlay"})) {
        // File systems without a device of their own (overlay, btrfs subvolumes) report major 0.
        if (mount.major != 0 && isRemovable && isRemovable(mount.major, mount.minor))
            return DriveType::Removable;
        return DriveType::Fixed;
    }
    return DriveType::Unknown;
}

DriveTable::DriveTable(std::vector<MountEntry> mounts, RemovableProbe isRemovable)
    : mounts_(std::move(mounts)), isRemovable_(std::move(isRemovable)) {}

DriveTable DriveTable::current() {
    std::ifstream file("/proc/self/mountinfo");
    std::stringstream text;
    text << file.rdbuf();
    auto probe = [](unsigned major, unsigned minor) {
        std::string base = "/sys/dev/block/" + std::to_string(major) + ":" + std::to_string(minor);
        bool removable = false;
        // A partition has no flag of its own; its disk (the parent folder) has.
        if (readFlag(base + "/removable", removable) || readFlag(base + "/../removable", removable))
            return removable;
        return false;
    };
    return DriveTable(parseMountInfo(text.str()), probe);
}

uint32_t DriveTable::presentMask() const {
    size_t count = std::min<size_t>(mounts_.size(), 32);
    return count == 32 ? 0xFFFFFFFFu : ((1u << count) - 1u);
}

DriveType DriveTable::typeOf(unsigned index) const {
    if (index >= 32 || index >= mounts_.size())
        return DriveType::NoRootDir;
    return classifyMount(mounts_[index], isRemovable_);
}

}  // namespace platform
