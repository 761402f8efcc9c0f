// Content type of a file from its extension: the system's table of registered content types
// (/etc/mime.types: a content type followed by its extensions, '#' starts a comment).
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace platform {

inline constexpr const char* kSystemMimeTypesFile = "/etc/mime.types";

// The content type registered for `key`, which is everything from the first '.' of a file name
// on (".txt", ".tar.gz"); compared without regard to case. Nothing when the table cannot be read,
// has no such extension, or the type is longer than 259 bytes.
std::optional<std::string> registeredContentType(
    std::string_view key, const std::string& tableFile = kSystemMimeTypesFile);

}  // namespace platform
