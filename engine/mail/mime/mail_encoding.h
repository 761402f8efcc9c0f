// The content transfer encodings a part or attachment can ask for.
#pragma once

#include <cstdint>

namespace mail {

enum class MailEncoding : int32_t {
    Auto = 0,             // the encoding DetectEncoding picks
    SevenBit = 1,         // "7bit"
    EightBit = 2,         // "8bit"
    QuotedPrintable = 3,  // "quoted-printable"
    Base64 = 4,           // "base64"
};

// The name written into Content-Transfer-Encoding; "" for Auto or an unknown value.
const char* MailEncodingName(MailEncoding encoding);

}  // namespace mail
