#include "platform/mime_types.h"

#include <fstream>
#include <sstream>

namespace platform {
namespace {

constexpr size_t kMaxContentType = 259;  // the registry value holds at most 260 bytes with its NUL

bool equalIgnoringCase(std::string_view a, std::string_view b) {
    if (a.size() != b.size())
        return false;
    for (size_t i = 0; i < a.size(); ++i) {
        unsigned char x = static_cast<unsigned char>(a[i]);
        unsigned char y = static_cast<unsigned char>(b[i]);
        if (x >= 'A' && x <= 'Z')
            x = static_cast<unsigned char>(x - 'A' + 'a');
        if (y >= 'A' && y <= 'Z')
            y = static_cast<unsigned char>(y - 'A' + 'a');
        if (x != y)
            return false;
    }
    return true;
}

}  // namespace

std::optional<std::string> registeredContentType(std::string_view key,
                                                 const std::string& tableFile) {
    if (key.size() < 2 || key.front() != '.')
        return std::nullopt;
    std::string_view extension = key.substr(1);
    std::ifstream table(tableFile);
    if (!table)
        return std::nullopt;
    std::string line;
    while (std::getline(table, line)) {
        if (size_t hash = line.find('#'); hash != std::string::npos)
            line.resize(hash);
        std::istringstream fields(line);
        std::string type;
        if (!(fields >> type))
            continue;
        std::string candidate;
        while (fields >> candidate) {
            if (!equalIgnoringCase(candidate, extension))
                continue;
            if (type.size() > kMaxContentType)
                return std::nullopt;
            return type;
        }
    }
    return std::nullopt;
}

}  // namespace platform
