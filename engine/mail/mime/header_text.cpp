#include "mime/header_text.h"

namespace mail {
namespace {

bool isBlank(char c) {
    return c == ' ' || c == '\t';
}

// Appends `line` folded to `out`; false when no fold point keeps a piece short enough.
bool foldLine(std::string& out, std::string_view line) {
    while (line.size() > kMaxHeaderLine) {
        size_t fold = 0;
        for (size_t i = kMaxHeaderLine; i >= 1; --i) {
            if (isBlank(line[i]) && !isBlank(line[i - 1])) {
                fold = i;
                break;
            }
        }
        if (fold == 0)
            return false;
        out.append(line.substr(0, fold));
        out.append("\r\n");
        line.remove_prefix(fold);
    }
    out.append(line);
    return true;
}

}  // namespace

std::string QuoteText(std::string_view text) {
    std::string quoted;
    quoted.reserve(text.size() + 2);
    for (char c : text) {
        if (c == '"' || c == '\\')
            quoted.push_back('\\');
        quoted.push_back(c);
    }
    return quoted;
}

bool HasLineBreakOrNul(std::string_view text) {
    return text.find_first_of(std::string_view("\r\n\0", 3)) != std::string_view::npos;
}

bool FoldLongLines(std::string& block) {
    bool anyLong = false;
    size_t start = 0;
    while (start <= block.size()) {
        size_t end = block.find("\r\n", start);
        if (end == std::string::npos)
            end = block.size();
        if (end - start > kMaxHeaderLine)
            anyLong = true;
        start = end + 2;
    }
    if (!anyLong)
        return true;

    std::string folded;
    folded.reserve(block.size() + 64);
    start = 0;
    for (;;) {
        size_t end = block.find("\r\n", start);
        std::string_view line(block.data() + start,
                              (end == std::string::npos ? block.size() : end) - start);
        if (!foldLine(folded, line))
            return false;
        if (end == std::string::npos)
            break;
        folded.append("\r\n");
        start = end + 2;
    }
    block = std::move(folded);
    return true;
}

}  // namespace mail
