// Engine tests talk to the fake driver through the real socket channel. The fixture puts the
// engine back to its state at load, points it at a fresh fake driver, and replaces the rest of
// the outside world: an in-memory service manager, a fixed driver file, counted sleeps, a fixed
// drive list and a recorded error box.
#pragma once

#include <gtest/gtest.h>

#include <chrono>
#include <string>
#include <utility>
#include <vector>

#include "engine_api.h"
#include "engine_state.h"
#include "fake_driver.h"
#include "fake_service_manager.h"

namespace enginetest {

inline constexpr const char* kDriverPath = "/opt/corvantis/vestrald";

// Three drives: a fixed disk (bit 0), a procfs (bit 1, left out) and a tmpfs (bit 2).
inline const char* const kMountInfo =
    "21 1 8:1 / / rw - ext4 /dev/sda1 rw\n"
    "22 21 0:20 / /proc rw - proc proc rw\n"
    "23 21 0:21 / /run rw - tmpfs tmpfs rw\n";

class EngineTest : public ::testing::Test {
  protected:
    void SetUp() override {
        engine::EngineState::instance().resetForTesting();
        driver.useForEngine();
        engine::EngineState::instance().setEnvironment(environment());
    }

    void TearDown() override { engine::EngineState::instance().resetForTesting(); }

    engine::Environment environment() {
        engine::Environment env;
        env.openServiceManager = [this] { return services.open(); };
        env.findDriverFile = [this] { return driverFile; };
        env.sleep = [this](std::chrono::milliseconds time) { sleeps.push_back(time); };
        env.drives = [] {
            return platform::DriveTable(platform::parseMountInfo(kMountInfo),
                                        [](unsigned, unsigned) { return false; });
        };
        env.errorBox = [this](std::string_view title, std::string_view text) {
            boxes.emplace_back(title, text);
        };
        env.isNtFamily = [this] { return ntFamily; };
        return env;
    }

    // Adds an item given as text; the table pointer the engine returns.
    static ItemTable* add(const std::string& name, const std::string& programs) {
        return engine::addItems(name.data(), static_cast<uint32_t>(name.size()), programs.data(),
                                static_cast<uint32_t>(programs.size()));
    }

    static const ItemTable* engineTable() {
        return engine::EngineState::instance().items.current();
    }

    fake::FakeDriver driver;
    fake::FakeServiceRegistry services;
    std::optional<std::string> driverFile = kDriverPath;
    bool ntFamily = true;
    std::vector<std::chrono::milliseconds> sleeps;
    std::vector<std::pair<std::string, std::string>> boxes;
};

}  // namespace enginetest
