// A stand-in for the driver daemon: serves the fake driver's two devices in $VESTRAL_DEVICE_DIR
// until SIGTERM or SIGINT. Tests start it through the local service manager to see a driver
// service come up as a real separate process.
#include <signal.h>
#include <stdlib.h>

#include <filesystem>
#include <string>

#include "fake_driver.h"

int main() {
    sigset_t stopSignals;
    sigemptyset(&stopSignals);
    sigaddset(&stopSignals, SIGTERM);
    sigaddset(&stopSignals, SIGINT);
    pthread_sigmask(SIG_BLOCK, &stopSignals, nullptr);  // the serving threads inherit the mask

    const char* target = std::getenv("VESTRAL_DEVICE_DIR");
    if (!target || !*target)
        return 2;
    fake::FakeDriver driver;
    // The fake serves in a folder of its own; the devices are made visible where asked by
    // links to its sockets, created last so that they announce a driver ready to serve.
    namespace fs = std::filesystem;
    fs::create_directories(target);
    for (const char* name : {VESTRAL_MONITOR_DEVICE, VESTRAL_CONTROL_DEVICE}) {
        fs::path link = fs::path(target) / name;
        std::error_code ignored;
        fs::remove(link, ignored);
        fs::create_symlink(fs::path(driver.deviceDir()) / name, link);
    }
    int signal = 0;
    sigwait(&stopSignals, &signal);
    for (const char* name : {VESTRAL_MONITOR_DEVICE, VESTRAL_CONTROL_DEVICE}) {
        std::error_code ignored;
        fs::remove(fs::path(target) / name, ignored);
    }
    return 0;
}
