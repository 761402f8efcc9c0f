// Runs the real vestrald against a private tmpfs. Each test process first moves into a mount
// namespace of its own, mounts the tmpfs there and lets the daemon watch that file system only
// (drive mask bit and --allow-mount), so a fault can never stall the machine's own file
// systems; the namespace, the tmpfs and the daemon (PR_SET_PDEATHSIG) end with the test.
// The test process plays the engine through the device protocol and is therefore exempt.
#pragma once

#include <gtest/gtest.h>
#include <sys/types.h>

#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "platform/device_channel.h"
#include "vestral.h"

namespace vestrald {

class DaemonTest : public ::testing::Test {
  protected:
    void SetUp() override;
    void TearDown() override;

    // Starts vestrald (question time-out in ms) and waits until it serves its devices.
    void startDaemon(int questionTimeoutMs = 10000);
    void killDaemon(int signal);

    // The engine's start-up: version, start-up request, drive mask (our tmpfs), capture on.
    void engineStartup();
    void applyItems(const std::vector<std::pair<std::string, std::string>>& items);
    void control(uint32_t code);
    // Hands a fresh question eventfd over on the request handle.
    void listen();
    // Waits for the question event and fetches; nullopt when none came within `ms`.
    std::optional<AccessQuestion> waitQuestion(int ms = 5000);
    bool reply(AccessQuestion question, AccessDecision decision);
    std::vector<std::string> readEvents();
    std::string itemPrograms(size_t index);

    // A copy of the opener program called `name` (its executable file name is what counts).
    std::string program(const std::string& name);
    pid_t spawn(const std::string& programName, const std::string& path, const char* mode);
    // The exit code (0, or the errno of the failed open); nullopt while it still runs at `ms`.
    std::optional<int> waitExit(pid_t pid, int ms = 5000);
    int run(const std::string& programName, const std::string& path, const char* mode);
    // Waits until `pid` sits in an open of `path` (read from its blocked system call).
    bool waitBlockedOn(pid_t pid, const std::string& path, int ms = 5000);

    std::string work_;  // temporary folder on the root file system (programs, devices)
    std::string root_;  // the private tmpfs: protected items and executable files live here
    int driveBit_ = -1;
    pid_t daemon_ = -1;
    std::vector<pid_t> children_;
    std::unique_ptr<platform::DeviceHandle> monitor_, items_, requests_;
    int questionEvent_ = -1;
    bool mounted_ = false;
};

}  // namespace vestrald
