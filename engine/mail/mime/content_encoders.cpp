#include "mime/content_encoders.h"

#include <array>
#include <cstdint>
#include <cstdio>
#include <cstring>

#include "mime/base64_coder.h"
#include "mime/mail_environment.h"

namespace mail {
namespace {

constexpr size_t kLineWidth = 76;  // the width every encoder wraps at

constexpr std::array<bool, 256> makeBreakTable() {
    std::array<bool, 256> table{};
    for (char c : std::string_view(" -;.,?!"))
        table[static_cast<uint8_t>(c)] = true;
    return table;
}
constexpr std::array<bool, 256> kBreakCharacters = makeBreakTable();

bool isBreak(char c) {
    return kBreakCharacters[static_cast<uint8_t>(c)];
}
bool isUtf8Continuation(char c) {
    return (static_cast<uint8_t>(c) & 0xC0) == 0x80;
}

// Calls `onLine(line, endedWithCr)` for each line of `input`. A line ends at CR or CR LF (both
// consumed); a lone LF stays inside its line. Text after the last CR is a line without CR.
template <typename OnLine>
void forEachLine(std::string_view input, OnLine onLine) {
    size_t pos = 0;
    while (pos < input.size()) {
        size_t cr = input.find('\r', pos);
        if (cr == std::string_view::npos) {
            onLine(input.substr(pos), false);
            return;
        }
        onLine(input.substr(pos, cr - pos), true);
        pos = cr + 1;
        if (pos < input.size() && input[pos] == '\n')
            ++pos;
    }
}

// Where a line longer than `width` is cut (see WrapLines).
size_t wrapCut(std::string_view rest, size_t width) {
    if (isBreak(rest[width - 1]))
        return width;
    for (size_t j = width - 1; j-- > 0;) {
        if (isBreak(rest[j]))
            return j + 1;
    }
    // No break character: cut after `width` bytes, moved back to the start of a UTF-8 sequence
    // so that no character is split (only when that leaves something in the piece).
    size_t cut = width;
    for (int step = 0; step < 3 && cut > 1 && isUtf8Continuation(rest[cut]); ++step)
        --cut;
    return isUtf8Continuation(rest[cut]) ? width : cut;
}

std::string_view asZeroTerminated(const char* data, size_t length) {
    const void* zero = std::memchr(data, 0, length);
    return {data, zero ? static_cast<size_t>(static_cast<const char*>(zero) - data) : length};
}

void appendEscape(std::string& out, uint8_t byte) {
    static constexpr char kHex[] = "0123456789ABCDEF";
    out.push_back('=');
    out.push_back(kHex[byte >> 4]);
    out.push_back(kHex[byte & 15]);
}

// One line of escaped quoted-printable text: soft breaks so that no piece exceeds 76
// characters and no escape is split, trailing blank or TAB escaped.
void appendQuotedPrintableLine(std::string& out, std::string_view line) {
    std::string tail;  // used only once a trailing blank had to be escaped
    std::string_view rest = line;
    for (;;) {
        while (rest.size() > kLineWidth) {
            size_t cut = 75;
            if (rest[74] == '=') {
                cut = 74;
            } else if (rest[73] == '=') {
                cut = 73;
            }
            out.append(rest.data(), cut);
            out.append("=\r\n", 3);
            rest.remove_prefix(cut);
        }
        if (rest.empty() || (rest.back() != ' ' && rest.back() != '\t'))
            break;
        std::string grown(rest.substr(0, rest.size() - 1));
        appendEscape(grown, static_cast<uint8_t>(rest.back()));
        tail = std::move(grown);
        rest = tail;
    }
    out.append(rest);
}

}  // namespace

const char* MailEncodingName(MailEncoding encoding) {
    switch (encoding) {
        case MailEncoding::SevenBit:
            return "7bit";
        case MailEncoding::EightBit:
            return "8bit";
        case MailEncoding::QuotedPrintable:
            return "quoted-printable";
        case MailEncoding::Base64:
            return "base64";
        default:
            return "";
    }
}

MailEncoding DetectEncoding(const void* data, size_t length) {
    if (length == 0)
        return MailEncoding::SevenBit;  // nothing to carry: an empty 7bit body
    const auto* bytes = static_cast<const uint8_t*>(data);
    uint64_t printable = 0;
    bool zeroByte = false;
    bool longLine = false;
    size_t lineStart = 0;  // index just after the previous CR (0 before the first)
    for (size_t i = 0; i < length; ++i) {
        uint8_t b = bytes[i];
        if (b == 9 || b == 10 || b == 13 || (b >= 32 && b <= 126))
            ++printable;
        if (b == 0)
            zeroByte = true;
        if (b == 13) {
            // i - s - 1: for CR LF text the LF that begins a later line is counted out.
            int64_t measured = static_cast<int64_t>(i) - static_cast<int64_t>(lineStart) - 1;
            if (measured > static_cast<int64_t>(kLineWidth))
                longLine = true;
            lineStart = i + 1;
        }
    }
    if (printable * 100 / length <= 89)
        return MailEncoding::Base64;
    if (longLine)
        return MailEncoding::QuotedPrintable;
    if (printable < length) {
        // 8bit text ends at its first zero byte; quoted-printable carries zero bytes as "=00".
        return zeroByte ? MailEncoding::QuotedPrintable : MailEncoding::EightBit;
    }
    return MailEncoding::SevenBit;
}

void EncodeQuotedPrintable(std::string& output, std::string_view input) {
    output.clear();
    if (input.empty())
        return;
    std::string escaped;
    escaped.reserve(input.size() + input.size() / 8);
    for (char c : input) {
        auto b = static_cast<uint8_t>(c);
        bool plain = b == 9 || b == 10 || b == 13 || (b >= 32 && b <= 126 && b != '=');
        if (plain) {
            escaped.push_back(c);
        } else {
            appendEscape(escaped, b);
        }
    }
    output.reserve(escaped.size() + escaped.size() / 25 + 2);
    forEachLine(escaped, [&](std::string_view line, bool endedWithCr) {
        appendQuotedPrintableLine(output, line);
        if (endedWithCr)
            output.append("\r\n", 2);
    });
}

void WrapLines(std::string& output, std::string_view input, size_t width) {
    output.clear();
    if (input.empty())
        return;
    if (width == 0)
        width = 1;
    output.reserve(input.size() + input.size() / 60 * 2);
    forEachLine(input, [&](std::string_view rest, bool endedWithCr) {
        while (rest.size() > width) {
            size_t cut = wrapCut(rest, width);
            output.append(rest.data(), cut);
            output.append("\r\n", 2);
            rest.remove_prefix(cut);
        }
        output.append(rest);
        if (endedWithCr)
            output.append("\r\n", 2);
    });
}

void StripTo7Bit(std::string& output, std::string_view input) {
    output.assign(input);
    for (char& c : output) {
        if (static_cast<uint8_t>(c) >= 0x7F)
            c = '?';
    }
}

void StuffDots(std::string& text) {
    if (text.empty() || std::memchr(text.data(), '.', text.size()) == nullptr)
        return;
    size_t extra = text[0] == '.' ? 1 : 0;
    for (size_t i = 0; i + 1 < text.size(); ++i) {
        if (text[i] == '\n' && text[i + 1] == '.')
            ++extra;
    }
    if (extra == 0)
        return;
    std::string stuffed;
    stuffed.reserve(text.size() + extra);
    bool lineStart = true;
    for (char c : text) {
        if (lineStart && c == '.')
            stuffed.push_back('.');
        stuffed.push_back(c);
        lineStart = c == '\n';
    }
    text = std::move(stuffed);
}

void EncodeContent(MailEncoding encoding, std::string& text, std::string& encodingName,
                   const void* data, size_t length) {
    EncodeContent(encoding, text, encodingName, data, length, SystemMailEnvironment());
}

void EncodeContent(MailEncoding encoding, std::string& text, std::string& encodingName,
                   const void* data, size_t length, const MailEnvironment& environment) {
    uint32_t started = environment.TickCount();
    std::string input;
    if (data == nullptr) {
        input = text;
        data = input.data();
        length = input.size();
    }
    const char* bytes = static_cast<const char*>(data);
    if (encoding < MailEncoding::SevenBit || encoding > MailEncoding::Base64) {
        encoding = DetectEncoding(data, length);
    }
    encodingName = MailEncodingName(encoding);

    std::string result;
    switch (encoding) {
        case MailEncoding::SevenBit: {
            std::string stripped;
            StripTo7Bit(stripped, asZeroTerminated(bytes, length));
            WrapLines(result, stripped, kLineWidth);
            break;
        }
        case MailEncoding::EightBit:
            WrapLines(result, asZeroTerminated(bytes, length), kLineWidth);
            break;
        case MailEncoding::QuotedPrintable:
            // Every byte, zero bytes included (as "=00"): nothing of the data is lost.
            EncodeQuotedPrintable(result, std::string_view(bytes, length));
            break;
        default:
            // Every byte, zero bytes included; the same text as CBase64Coder and WrapLines give.
            EncodeBase64Lines(result, data, length);
            break;
    }
    input.clear();
    input.shrink_to_fit();
    StuffDots(result);
    text = std::move(result);

    char line[64];
    std::snprintf(line, sizeof line, "Encoding took %dms\n",
                  static_cast<int>(environment.TickCount() - started));
    environment.DebugOutput(line);
}

}  // namespace mail
