#include "service/dsd_config.h"

#include <string>

#include "config/config_file.h"
#include "config/profile_file.h"

namespace service {

DSDSettings DSDConfig;

namespace {

// Values are read into a buffer of 2048 characters.
constexpr size_t kValueLimit = 2047;

std::string readAdvanced(const std::string& path, const char* key) {
    return config::readProfileString(path, config::kAdvancedSection, key, "YES", kValueLimit);
}

}  // namespace

void loadSettings() {
    const std::string path = config::configFilePath();
    DSDConfig.DataAlert = readAdvanced(path, "DataAlert") == "YES";
    DSDConfig.DataProtect = readAdvanced(path, "DataProtect") != "NO";
    DSDConfig.TjDfd = readAdvanced(path, "TjDfd") != "NO";
}

}  // namespace service
