// The five mail settings of section "Advanced" of Corvantis.ini.
#pragma once

#include <string>

namespace mail {

struct MailSettings {
    std::string mailLog;     // "YES" switches alert mail on (exactly, case matters)
    std::string mailAddr;    // the one recipient: address and display name
    std::string mailServer;  // SMTP server: host name or dotted IPv4 address
    std::string mailUser;    // login name, sender address and sender display name
    std::string mailPass;    // login password, plain text
};

// Reads MailLog from section "Advanced" of the profile file at `path`; when it is exactly "YES",
// reads MailAddr, MailServer, MailUser and MailPass too (a missing key reads as empty; values
// lose their trailing white space and are otherwise carried whole). When MailLog is not "YES"
// the other four keep what they held. Returns true when mail is on and all four are non-empty.
bool ReadMailSettings(const std::string& path, MailSettings& settings);

}  // namespace mail
