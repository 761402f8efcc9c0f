#include "alert/mail_settings.h"

#include <string_view>

#include "config/config_file.h"
#include "config/profile_file.h"

namespace mail {
namespace {

std::string trimmedEnd(std::string_view value) {
    size_t end = value.find_last_not_of(" \t\r\n\v\f");
    return std::string(end == std::string_view::npos ? std::string_view()
                                                     : value.substr(0, end + 1));
}

}  // namespace

bool ReadMailSettings(const std::string& path, MailSettings& settings) {
    // One consistent reading of the file for all five values.
    auto profile = config::loadProfile(path);
    auto read = [&](std::string_view key) {
        return trimmedEnd(profile->value(config::kAdvancedSection, key).value_or(""));
    };
    settings.mailLog = read("MailLog");
    if (settings.mailLog != "YES")
        return false;
    settings.mailAddr = read("MailAddr");
    settings.mailServer = read("MailServer");
    settings.mailUser = read("MailUser");
    settings.mailPass = read("MailPass");
    return !settings.mailAddr.empty() && !settings.mailServer.empty() &&
           !settings.mailUser.empty() && !settings.mailPass.empty();
}

}  // namespace mail
