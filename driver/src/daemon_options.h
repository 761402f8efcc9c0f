// Command line of vestrald.
#pragma once

#include <chrono>
#include <optional>
#include <string>
#include <vector>

namespace vestrald {

struct DaemonOptions {
    std::string deviceDirectory;                       // --device-dir, else $VESTRAL_DEVICE_DIR
    std::chrono::milliseconds questionTimeout{60000};  // --question-timeout MS
    std::vector<std::string> allowedMounts;            // --allow-mount PATH (repeatable)
    size_t maxEvents = 8192;                           // --max-events N
    bool help = false;
};

// Parses the arguments after the program name. Nullopt with `*error` set on a bad argument.
std::optional<DaemonOptions> parseDaemonOptions(const std::vector<std::string>& args,
                                                std::string* error);
const char* daemonUsage();

}  // namespace vestrald
