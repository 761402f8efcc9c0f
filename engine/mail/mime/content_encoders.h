// Content transfer encoding of part texts and attachment bytes (RFC 2045), the automatic choice
// among the four encodings, line wrapping and SMTP dot-stuffing.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

#include "mime/mail_encoding.h"

namespace mail {

class MailEnvironment;

// Encodes a part or an attachment. With no data, `text` supplies the input; either way `text`
// receives the encoded, dot-stuffed body and `encodingName` the name of the encoding used.
// 7bit, 8bit and quoted-printable take the data as text that ends at its first zero byte; the
// automatic choice never picks one of these for data holding a zero byte, so no byte is lost.
// Empty data with Auto gives "7bit" and an empty body. The time taken goes to debugger output
// ("Encoding took %dms").
void EncodeContent(MailEncoding encoding, std::string& text, std::string& encodingName,
                   const void* data = nullptr, size_t length = 0);
void EncodeContent(MailEncoding encoding, std::string& text, std::string& encodingName,
                   const void* data, size_t length, const MailEnvironment& environment);

// The encoding (SevenBit to Base64) that suits `length` bytes of `data` best.
MailEncoding DetectEncoding(const void* data, size_t length);

// Quoted-printable form of `input`: lines of at most 76 characters, CR LF hard breaks.
void EncodeQuotedPrintable(std::string& output, std::string_view input);

// `input` with every line longer than `width` broken after a blank or one of "-;.,?!", or after
// `width` characters when there is none (never inside a UTF-8 sequence). A line ends at CR or
// CR LF; a lone LF stays inside its line.
void WrapLines(std::string& output, std::string_view input, size_t width);

// A copy of `input` with every byte from 0x7F to 0xFF replaced by '?'.
void StripTo7Bit(std::string& output, std::string_view input);

// Doubles a '.' at the start of every line (the first line included) so that no line of the
// text ends the SMTP data early. A lone LF counts as a line end here too, since lenient servers
// treat it as one.
void StuffDots(std::string& text);

}  // namespace mail
