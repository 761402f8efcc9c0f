// Helpers of the alert mail tests: profile files with the mail settings.
#pragma once

#include <string>

#include "temp_dir.h"

namespace mail::test {

// Section "Advanced" with the five mail keys.
inline std::string mailProfile(const std::string& server, const std::string& user,
                               const std::string& pass, const std::string& addr,
                               const std::string& mailLog = "YES") {
    return "[Advanced]\r\nMailLog=" + mailLog + "\r\nMailAddr=" + addr +
           "\r\nMailServer=" + server + "\r\nMailUser=" + user + "\r\nMailPass=" + pass + "\r\n";
}

}  // namespace mail::test
