#include "name_matching.h"

#include <array>

namespace vestrald {

namespace {

char upper(char c) {
    return (c >= 'a' && c <= 'z') ? static_cast<char>(c - 'a' + 'A') : c;
}

}  // namespace

std::string upperAscii(std::string_view text) {
    std::string result(text);
    for (char& c : result)
        c = upper(c);
    return result;
}

bool equalsNoCase(std::string_view a, std::string_view b) {
    if (a.size() != b.size())
        return false;
    for (size_t i = 0; i < a.size(); ++i) {
        if (upper(a[i]) != upper(b[i]))
            return false;
    }
    return true;
}

bool wildcardMatch(std::string_view pattern, std::string_view text) {
    // Greedy matching with one back-track point: linear for patterns without '*', and never
    // worse than pattern x text, so a hostile table cannot stall the filter.
    size_t p = 0, t = 0;
    size_t starP = std::string_view::npos, starT = 0;
    while (t < text.size()) {
        if (p < pattern.size() && pattern[p] == '*') {
            starP = p++;
            starT = t;
        } else if (p < pattern.size() && upper(pattern[p]) == upper(text[t])) {
            ++p;
            ++t;
        } else if (starP != std::string_view::npos) {
            p = starP + 1;
            t = ++starT;
        } else {
            return false;
        }
    }
    while (p < pattern.size() && pattern[p] == '*')
        ++p;
    return p == pattern.size();
}

bool itemCoversPath(std::string_view itemName, std::string_view path) {
    while (itemName.size() > 1 && itemName.back() == '/')
        itemName.remove_suffix(1);
    if (itemName.empty())
        return false;
    if (itemName == "/")
        return !path.empty() && path.front() == '/';
    if (wildcardMatch(itemName, path))
        return true;
    // A folder item covers each path below it: try the item against every parent of the path.
    for (size_t slash = path.find('/', 1); slash != std::string_view::npos;
         slash = path.find('/', slash + 1)) {
        if (wildcardMatch(itemName, path.substr(0, slash)))
            return true;
    }
    return false;
}

std::string_view baseName(std::string_view path) {
    size_t slash = path.rfind('/');
    return slash == std::string_view::npos ? path : path.substr(slash + 1);
}

bool isExecutableName(std::string_view path) {
    static constexpr std::array<std::string_view, 4> kExtensions = {".EXE", ".COM", ".BAT", ".DLL"};
    std::string_view name = baseName(path);
    if (name.size() < 4)
        return false;
    std::string_view tail = name.substr(name.size() - 4);
    for (std::string_view extension : kExtensions) {
        if (equalsNoCase(tail, extension))
            return true;
    }
    return false;
}

}  // namespace vestrald
