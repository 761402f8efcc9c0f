// vestrald: wires the filter together and runs until SIGTERM or SIGINT. It never forks: a child
// holding the fanotify descriptor would keep openers stuck after the daemon is gone.
#include <signal.h>
#include <sys/resource.h>
#include <syslog.h>
#include <unistd.h>

#include <cstdio>
#include <cstring>

#include "daemon_options.h"
#include "device_server.h"
#include "exempt_processes.h"
#include "fanotify_filter.h"
#include "fanotify_reader.h"
#include "filter_driver.h"
#include "question_timer.h"

using namespace vestrald;

namespace {

void report(int priority, const std::string& text) {
    syslog(priority, "%s", text.c_str());
    std::fprintf(stderr, "vestrald: %s\n", text.c_str());
}

// Each held open keeps a descriptor; allow as many as the hard limit permits.
void raiseDescriptorLimit() {
    rlimit limit{};
    if (::getrlimit(RLIMIT_NOFILE, &limit) == 0 && limit.rlim_cur < limit.rlim_max) {
        limit.rlim_cur = limit.rlim_max;
        ::setrlimit(RLIMIT_NOFILE, &limit);
    }
}

}  // namespace

int main(int argc, char** argv) {
    std::string error;
    auto options = parseDaemonOptions(std::vector<std::string>(argv + 1, argv + argc), &error);
    if (!options) {
        std::fprintf(stderr, "vestrald: %s\n%s", error.c_str(), daemonUsage());
        return 2;
    }
    if (options->help) {
        std::fputs(daemonUsage(), stdout);
        return 0;
    }
    ::openlog("vestrald", LOG_PID, LOG_DAEMON);

    // Signals are taken by sigwait in this thread only; no other thread sees them.
    sigset_t stopSignals;
    sigemptyset(&stopSignals);
    sigaddset(&stopSignals, SIGTERM);
    sigaddset(&stopSignals, SIGINT);
    pthread_sigmask(SIG_BLOCK, &stopSignals, nullptr);
    ::signal(SIGPIPE, SIG_IGN);
    raiseDescriptorLimit();

    FanotifyFilter filter(options->allowedMounts);
    if (int failure = filter.open()) {
        report(LOG_ERR, std::string("fanotify is not available: ") + std::strerror(failure));
        return 1;
    }
    DriverSettings settings;
    settings.questionTimeout = options->questionTimeout;
    settings.maxEvents = options->maxEvents;
    FilterDriver driver(filter, settings);
    ExemptProcesses exempt(::getpid());
    QuestionTimer timer(driver);
    driver.setQuestionWaitingHook([&timer] { timer.poke(); });
    FanotifyReader reader(filter, driver, exempt);
    DeviceServer server(driver, exempt, options->deviceDirectory);

    timer.start();
    if (!reader.start()) {
        report(LOG_ERR, "cannot start the event reader");
        return 1;
    }
    if (int failure = server.start()) {
        report(LOG_ERR, "cannot serve the devices in " + options->deviceDirectory + ": " +
                            std::strerror(failure));
        reader.stop();
        timer.stop();
        return 1;
    }
    report(LOG_INFO, "serving the devices in " + options->deviceDirectory);

    uint64_t overflowsReported = 0;
    for (;;) {
        timespec second{1, 0};
        int signal = ::sigtimedwait(&stopSignals, nullptr, &second);
        if (signal == SIGTERM || signal == SIGINT)
            break;
        if (uint64_t overflows = reader.overflows(); overflows != overflowsReported) {
            overflowsReported = overflows;
            report(LOG_WARNING, "the kernel's event queue overflowed (" +
                                    std::to_string(overflows) + " times): opens passed unchecked");
        }
    }

    // Devices first (no new questions), then every held open is denied; closing the fanotify
    // descriptor at the end lets anything still pending pass.
    server.stop();
    reader.stop();
    timer.stop();
    driver.denyAll("DENY DRIVER STOPPED");
    report(LOG_INFO, "stopped");
    return 0;
}
