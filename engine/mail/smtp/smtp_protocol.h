// Text rules of the SMTP dialogue that do not depend on a connection: where a server reply ends,
// its code, and which values may be placed into a command line.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace mail {

// Upper bound of one reply (and of the stale bytes dropped before a command). A server that
// sends more without ending its reply is treated as broken.
inline constexpr size_t kMaxReplyBytes = 64 * 1024;

// Length of the first complete reply at the start of `received`, up to and including the line
// feed of its last line, or std::string_view::npos while it is incomplete. The last line of a
// reply is the first line whose fourth character is not '-' ("250-a" continues, "250 b" and
// "250" end it), so a multi-line reply is taken whole.
size_t findReplyEnd(std::string_view received);

// The reply's text without the line end of its last line (LF, or CR LF).
std::string_view stripFinalLineEnd(std::string_view reply);

// The reply code: the decimal digits among the first three characters; 0 when there are none.
int replyCode(std::string_view reply);

// True when `value` can go into one command or header line: no CR, LF or NUL, which would end
// the line early and let the rest of the value pass as a command or header of its own.
bool fitsOneLine(std::string_view value);

// True when `a` and `b` are equal apart from the case of ASCII letters.
bool equalsIgnoringCase(std::string_view a, std::string_view b);

}  // namespace mail
