// open+close with and without vestrald, in one private mount namespace on a private tmpfs:
//   - files under no item on a file system watched for executable protection (cache warm);
//   - a protected file opened by a permitted program (a kernel round trip per open).
// Each watched figure is reported as a ratio to the same loop before the daemon started.
// Needs root and fanotify; prints why and exits 0 otherwise.
#include <benchmark/benchmark.h>
#include <fcntl.h>
#include <sched.h>
#include <signal.h>
#include <sys/fanotify.h>
#include <sys/mount.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <map>
#include <memory>
#include <thread>

#include "mount_table.h"
#include "name_matching.h"
#include "platform/device_channel.h"
#include "ratio_reporter.h"
#include "vestral.h"

namespace {

constexpr int kPlainFiles = 64;
std::string gRoot;

void openCloseLoop(benchmark::State& state, bool plain) {
    std::vector<std::string> paths;
    if (plain) {
        for (int i = 0; i < kPlainFiles; ++i)
            paths.push_back(gRoot + "/f" + std::to_string(i));
    } else {
        paths.push_back(gRoot + "/prot/secret.txt");
    }
    size_t i = 0;
    for (auto _ : state) {
        int fd = ::open(paths[i++ % paths.size()].c_str(), O_RDONLY | O_CLOEXEC);
        if (fd < 0) {
            state.SkipWithError("open failed");
            break;
        }
        ::close(fd);
    }
}

pid_t startDaemon(const std::string& devices) {
    pid_t pid = ::fork();
    if (pid == 0) {
        ::prctl(PR_SET_PDEATHSIG, SIGKILL);
        ::execl(VESTRALD_PATH, "vestrald", "--device-dir", devices.c_str(), "--allow-mount",
                gRoot.c_str(), static_cast<char*>(nullptr));
        ::_exit(127);
    }
    return pid;
}

// Configures the daemon as the engine would, then lets go of the devices: a process holding
// them is exempt from the filter, and this one is to be filtered.
bool configureDaemon(uint32_t mask, const std::string& permitted) {
    std::unique_ptr<platform::DeviceHandle> monitor;
    for (int i = 0; i < 1500 && !monitor; ++i) {
        monitor = platform::DeviceHandle::open(VESTRAL_MONITOR_DEVICE);
        if (!monitor)
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    auto control = platform::DeviceHandle::open(VESTRAL_CONTROL_DEVICE);
    if (!monitor || !control)
        return false;
    auto table = std::make_unique<ItemTable>();
    std::string name = vestrald::upperAscii(gRoot + "/prot");
    table->Count = 1;
    std::memcpy(table->Items[0].Name, name.data(), name.size());
    std::memcpy(table->Items[0].Programs, permitted.data(), permitted.size());
    table->Items[0].NameLength = static_cast<uint32_t>(name.size());
    table->Items[0].ProgramsLength = static_cast<uint32_t>(permitted.size());
    return monitor->control(IOCTL_VESTRAL_SET_DRIVES, &mask, 4, nullptr, 0) &&
           control->control(IOCTL_CONTROL_APPLY_ITEMS, table.get(), sizeof(ItemTable), nullptr,
                            0) &&
           control->control(IOCTL_CONTROL_PROTECT_ON, nullptr, 0, nullptr, 0) &&
           control->control(IOCTL_CONTROL_EXE_ON, nullptr, 0, nullptr, 0);
}

}  // namespace

int main(int argc, char** argv) {
    benchmark::Initialize(&argc, argv);
    int probe = ::fanotify_init(FAN_CLASS_CONTENT | FAN_CLOEXEC, O_RDONLY);
    if (::geteuid() != 0 || probe < 0 || ::unshare(CLONE_NEWNS) != 0) {
        std::puts("vestrald_bench: needs root, fanotify and a private mount namespace; skipped");
        return 0;
    }
    ::close(probe);
    ::mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr);
    char folder[] = "/tmp/vestrald-bench-XXXXXX";
    if (!::mkdtemp(folder))
        return 1;
    std::string work = folder;
    gRoot = work + "/fs";
    std::filesystem::create_directories(gRoot);
    if (::mount("vestrald-bench", gRoot.c_str(), "tmpfs", 0, "size=8m") != 0)
        return 1;
    std::filesystem::create_directories(gRoot + "/prot");
    for (int i = 0; i < kPlainFiles; ++i)
        std::ofstream(gRoot + "/f" + std::to_string(i)) << "x";
    std::ofstream(gRoot + "/prot/secret.txt") << "x";
    int bit = -1;
    auto table = vestrald::readMountTable();
    for (size_t i = 0; i < table.size() && i < 32; ++i)
        if (table[i].mountPoint == gRoot)
            bit = static_cast<int>(i);
    ::setenv("VESTRAL_DEVICE_DIR", (work + "/devices").c_str(), 1);

    RatioReporter reporter;
    benchmark::RegisterBenchmark("unwatched/plain", openCloseLoop, true);
    benchmark::RegisterBenchmark("unwatched/protected", openCloseLoop, false);
    benchmark::RunSpecifiedBenchmarks(&reporter);
    benchmark::ClearRegisteredBenchmarks();

    pid_t daemon = bit >= 0 ? startDaemon(work + "/devices") : -1;
    std::string self =
        vestrald::upperAscii(std::filesystem::read_symlink("/proc/self/exe").filename().string()) +
        ":";
    int status = 1;
    if (daemon > 0 && configureDaemon(1u << bit, self)) {
        benchmark::RegisterBenchmark("watched/plain", openCloseLoop, true);
        benchmark::RegisterBenchmark("watched/protected-permitted", openCloseLoop, false);
        benchmark::RunSpecifiedBenchmarks(&reporter);
        reporter.printRatio("watched/plain", "unwatched/plain");
        reporter.printRatio("watched/protected-permitted", "unwatched/protected");
        status = 0;
    } else {
        std::puts("vestrald_bench: the daemon did not start");
    }
    if (daemon > 0) {
        ::kill(daemon, SIGTERM);
        ::waitpid(daemon, nullptr, 0);
    }
    ::umount2(gRoot.c_str(), MNT_DETACH);
    std::filesystem::remove_all(work);
    benchmark::Shutdown();
    return status;
}
