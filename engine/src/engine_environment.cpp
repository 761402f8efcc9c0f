#include "engine_environment.h"

#include <thread>

#include "platform/program_search.h"
#include "platform/system_error.h"
#include "platform/user_output.h"

namespace engine {

Environment systemEnvironment() {
    Environment env;
    env.openServiceManager = [] { return platform::openServiceManager(); };
    env.findDriverFile = [] { return platform::findProgramFile(kDriverFileName); };
    env.sleep = [](std::chrono::milliseconds time) { std::this_thread::sleep_for(time); };
    env.drives = [] { return platform::DriveTable::current(); };
    env.errorBox = [](std::string_view title, std::string_view text) {
        platform::showErrorBox(title, text);
    };
    env.isNtFamily = [] { return platform::isNtFamily(); };
    return env;
}

}  // namespace engine
