// One text part of a message.
#pragma once

#include <string>

#include "mime/mail_encoding.h"

namespace mail {

struct CMailPart {
    std::string contentType;  // e.g. "text/plain"
    std::string charset;      // written only for "text/" types
    std::string contentId;    // a Content-ID header when not empty
    MailEncoding encoding = MailEncoding::Auto;
    std::string text;

    CMailPart() = default;
    // Null strings leave their field empty; the content id starts empty.
    CMailPart(const char* textValue, const char* contentTypeValue, const char* charsetValue,
              MailEncoding encodingValue)
        : contentType(contentTypeValue ? contentTypeValue : ""),
          charset(charsetValue ? charsetValue : ""),
          encoding(encodingValue),
          text(textValue ? textValue : "") {}
};

}  // namespace mail
