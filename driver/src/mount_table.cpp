#include "mount_table.h"

#include <algorithm>
#include <array>
#include <fstream>
#include <sstream>

namespace vestrald {

std::vector<MountEntry> readMountTable() {
    std::ifstream file("/proc/self/mountinfo");
    std::stringstream text;
    text << file.rdbuf();
    return platform::parseMountInfo(text.str());
}

bool isPseudoFileSystem(std::string_view fsType) {
    static constexpr std::array<std::string_view, 19> kPseudo = {
        "proc",    "sysfs",       "cgroup", "cgroup2",  "devpts",   "devtmpfs", "securityfs",
        "debugfs", "tracefs",     "bpf",    "fusectl",  "configfs", "pstore",   "mqueue",
        "autofs",  "binfmt_misc", "nsfs",   "efivarfs", "hugetlbfs"};
    return std::find(kPseudo.begin(), kPseudo.end(), fsType) != kPseudo.end();
}

std::vector<std::string> selectMounts(const std::vector<MountEntry>& table, uint32_t mask,
                                      const std::vector<std::string>& allowed) {
    std::vector<std::string> selected;
    for (size_t i = 0; i < table.size() && i < 32; ++i) {
        if (!(mask & (1u << i)) || isPseudoFileSystem(table[i].fsType))
            continue;
        if (!allowed.empty() &&
            std::find(allowed.begin(), allowed.end(), table[i].mountPoint) == allowed.end())
            continue;
        selected.push_back(table[i].mountPoint);
    }
    return selected;
}

}  // namespace vestrald
