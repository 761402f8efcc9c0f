#include "daemon_options.h"

#include <charconv>

#include "platform/device_channel.h"

namespace vestrald {

namespace {

bool parseCount(const std::string& text, unsigned long long max, unsigned long long& value) {
    auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    return error == std::errc() && end == text.data() + text.size() && value >= 1 && value <= max;
}

}  // namespace

const char* daemonUsage() {
    return "usage: vestrald [--device-dir DIR] [--question-timeout MS] [--allow-mount PATH]...\n"
           "                [--max-events N]\n"
           "Serves the devices VESTRAL and MyControlDevice and guards file opens with fanotify.\n"
           "  --device-dir DIR        folder of the device sockets ($VESTRAL_DEVICE_DIR,\n"
           "                          else /run/vestral)\n"
           "  --question-timeout MS   deny a question unanswered after MS milliseconds (60000)\n"
           "  --allow-mount PATH      watch no file system but those mounted at the given\n"
           "                          paths, whatever the drive mask selects (repeatable)\n"
           "  --max-events N          event entries kept for the reader (8192)\n";
}

std::optional<DaemonOptions> parseDaemonOptions(const std::vector<std::string>& args,
                                                std::string* error) {
    DaemonOptions options;
    options.deviceDirectory = platform::deviceDirectory();
    for (size_t i = 0; i < args.size(); ++i) {
        const std::string& arg = args[i];
        if (arg == "--help" || arg == "-h") {
            options.help = true;
            continue;
        }
        if (i + 1 >= args.size()) {
            *error = "unknown option or missing value: " + arg;
            return std::nullopt;
        }
        const std::string& value = args[++i];
        unsigned long long number = 0;
        if (arg == "--device-dir" && !value.empty()) {
            options.deviceDirectory = value;
        } else if (arg == "--question-timeout" && parseCount(value, 3600000, number)) {
            options.questionTimeout = std::chrono::milliseconds(number);
        } else if (arg == "--allow-mount" && !value.empty() && value.front() == '/') {
            options.allowedMounts.push_back(value);
        } else if (arg == "--max-events" && parseCount(value, 1000000, number)) {
            options.maxEvents = static_cast<size_t>(number);
        } else {
            *error = "bad option: " + arg + " " + value;
            return std::nullopt;
        }
    }
    return options;
}

}  // namespace vestrald
