// One mail address with an optional display name.
#pragma once

#include <string>

namespace mail {

struct CMailAddress {
    std::string displayName;  // may be empty
    std::string address;      // without angle brackets

    CMailAddress() = default;
    // Either argument may be null, which leaves that field empty.
    CMailAddress(const char* addressText, const char* displayNameText)
        : displayName(displayNameText ? displayNameText : ""),
          address(addressText ? addressText : "") {}
};

}  // namespace mail
