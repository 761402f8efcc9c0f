#include "config/config_file.h"

#include "platform/program_dir.h"

namespace config {

std::string configFilePath() {
    return platform::programDirectory() + kConfigFileName;
}

}  // namespace config
