#include "mount_table.h"

#include <algorithm>
#include <array>
#include <fstream>
#include <sstream>

namespace vestrald {

namespace {

std::string unescape(std::string_view field) {
    std::string out;
    for (size_t i = 0; i < field.size(); ++i) {
        if (field[i] == '\\' && i + 3 < field.size() && field[i + 1] >= '0' &&
            field[i + 1] <= '3' && field[i + 2] >= '0' && field[i + 2] <= '7' &&
            field[i + 3] >= '0' && field[i + 3] <= '7') {
            out += static_cast<char>((field[i + 1] - '0') * 64 + (field[i + 2] - '0') * 8 +
                                     (field[i + 3] - '0'));
            i += 3;
        } else {
            out += field[i];
        }
    }
    return out;
}

std::vector<std::string_view> splitSpaces(std::string_view line) {
    std::vector<std::string_view> words;
    while (!line.empty()) {
        size_t space = line.find(' ');
        if (space != 0)
            words.push_back(line.substr(0, space));
        if (space == std::string_view::npos)
            break;
        line.remove_prefix(space + 1);
    }
    return words;
}

}  // namespace

std::vector<MountEntry> parseMountInfo(std::string_view text) {
    std::vector<MountEntry> table;
    while (!text.empty()) {
        size_t end = text.find('\n');
        std::string_view line = text.substr(0, end);
        text.remove_prefix(end == std::string_view::npos ? text.size() : end + 1);
        std::vector<std::string_view> words = splitSpaces(line);
        // id parent dev root mountpoint options [optional...] - fstype source superoptions
        auto dash = std::find(words.begin(), words.end(), "-");
        if (words.size() < 5 || dash == words.end() || dash + 1 == words.end())
            continue;
        table.push_back({unescape(words[4]), unescape(*(dash + 1))});
    }
    return table;
}

std::vector<MountEntry> readMountTable() {
    std::ifstream file("/proc/self/mountinfo");
    std::stringstream text;
    text << file.rdbuf();
    return parseMountInfo(text.str());
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
