#include "smtp_protocol.h"

namespace mail {

size_t findReplyEnd(std::string_view received) {
    size_t lineStart = 0;
    while (lineStart < received.size()) {
        size_t lineFeed = received.find('\n', lineStart);
        if (lineFeed == std::string_view::npos)
            break;
        std::string_view line = received.substr(lineStart, lineFeed - lineStart);
        if (line.size() < 4 || line[3] != '-')
            return lineFeed + 1;
        lineStart = lineFeed + 1;
    }
    return std::string_view::npos;
}

std::string_view stripFinalLineEnd(std::string_view reply) {
    if (!reply.empty() && reply.back() == '\n')
        reply.remove_suffix(1);
    if (!reply.empty() && reply.back() == '\r')
        reply.remove_suffix(1);
    return reply;
}

int replyCode(std::string_view reply) {
    int code = 0;
    for (size_t i = 0; i < reply.size() && i < 3; ++i) {
        if (reply[i] < '0' || reply[i] > '9')
            break;
        code = code * 10 + (reply[i] - '0');
    }
    return code;
}

bool fitsOneLine(std::string_view value) {
    return value.find_first_of(std::string_view("\r\n\0", 3)) == std::string_view::npos;
}

bool equalsIgnoringCase(std::string_view a, std::string_view b) {
    if (a.size() != b.size())
        return false;
    for (size_t i = 0; i < a.size(); ++i) {
        char x = a[i], y = b[i];
        if (x >= 'A' && x <= 'Z')
            x = static_cast<char>(x - 'A' + 'a');
        if (y >= 'A' && y <= 'Z')
            y = static_cast<char>(y - 'A' + 'a');
        if (x != y)
            return false;
    }
    return true;
}

}  // namespace mail
