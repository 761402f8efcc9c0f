// Small helpers for header text shared by the message and its renderer (not for other users).
#pragma once

#include <string>
#include <string_view>

namespace mail {

// The longest line RFC 5322 allows, without its CR LF.
inline constexpr size_t kMaxHeaderLine = 998;

// `text` as the inside of a quoted string: '"' and '\' get a backslash in front.
std::string QuoteText(std::string_view text);

// True when `text` holds a CR, LF or NUL byte.
bool HasLineBreakOrNul(std::string_view text);

// Folds every line of `block` (lines separated by CR LF) that is longer than kMaxHeaderLine:
// a CR LF goes in front of a blank or TAB that follows a non-blank, so that unfolding gives the
// text back. False, with `block` unspecified, when some line cannot be folded short enough.
bool FoldLongLines(std::string& block);

}  // namespace mail
