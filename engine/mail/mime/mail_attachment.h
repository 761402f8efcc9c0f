// One attached file, read when the message is rendered.
#pragma once

#include <cstdint>
#include <string>

#include "mime/mail_encoding.h"

namespace mail {

struct CMailAttachment {
    std::string mimeType;   // when not empty, replaces the registered content type
    std::string charset;    // written only for "text/" types
    std::string contentId;  // a Content-ID header when not empty
    MailEncoding encoding = MailEncoding::Auto;
    std::string fileName;         // full path of the file
    std::string alternativeName;  // name shown instead of the file's own name
    int32_t isInline = 0;         // disposition "inline" when non-zero, else "attachment"

    CMailAttachment() = default;
    // Null strings leave their field empty; the content id starts empty.
    CMailAttachment(const char* fileNameValue, const char* alternativeNameValue, int32_t inlineFlag,
                    const char* mimeTypeValue, const char* charsetValue, MailEncoding encodingValue)
        : mimeType(mimeTypeValue ? mimeTypeValue : ""),
          charset(charsetValue ? charsetValue : ""),
          encoding(encodingValue),
          fileName(fileNameValue ? fileNameValue : ""),
          alternativeName(alternativeNameValue ? alternativeNameValue : ""),
          isInline(inlineFlag) {}
};

}  // namespace mail
