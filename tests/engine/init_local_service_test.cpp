// FM_Init against the local service manager and a driver daemon that runs as its own process
// (fake_vestrald): the driver service is installed, started detached, waited for until its
// devices exist, and then talked to.
#include <gtest/gtest.h>
#include <stdlib.h>
#include <unistd.h>

#include <filesystem>
#include <thread>

#include "driver_startup.h"
#include "engine_api.h"
#include "engine_state.h"
#include "platform/local_service_manager.h"
#include "platform/program_search.h"

namespace {

namespace fs = std::filesystem;
using platform::ServiceState;

class LocalServiceInit : public ::testing::Test {
  protected:
    void SetUp() override {
        engine::EngineState::instance().resetForTesting();
        root_ = fs::temp_directory_path() / ("cv-localinit-" + std::to_string(::getpid()));
        fs::remove_all(root_);
        fs::create_directories(root_ / "program");
        fs::create_directories(root_ / "devices");
        fs::create_symlink(FAKE_VESTRALD_PATH, root_ / "program" / VESTRAL_DRIVER_FILE);
        ::setenv("VESTRAL_DEVICE_DIR", (root_ / "devices").c_str(), 1);

        engine::Environment env = engine::systemEnvironment();
        std::string scmDir = root_ / "scm";
        env.openServiceManager = [scmDir] { return platform::LocalServiceManager::open(scmDir); };
        std::string programDir = root_ / "program";
        env.findDriverFile = [programDir] {
            return platform::findProgramFile(VESTRAL_DRIVER_FILE, programDir, "");
        };
        env.sleep = [this](std::chrono::milliseconds) {
            ++waits_;
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
        };
        env.drives = [] { return platform::DriveTable({}, nullptr); };
        engine::EngineState::instance().setEnvironment(env);
        scm_ = platform::LocalServiceManager::open(scmDir);
        ASSERT_TRUE(scm_);
    }

    void TearDown() override {
        engine::EngineState::instance().resetForTesting();
        if (scm_->query(VESTRAL_DRIVER_SERVICE) != ServiceState::Stopped) {
            scm_->stop(VESTRAL_DRIVER_SERVICE);
            waitFor(ServiceState::Stopped);
        }
        fs::remove_all(root_);
    }

    bool waitFor(ServiceState wanted) {
        for (int i = 0; i < 500; ++i) {
            if (scm_->query(VESTRAL_DRIVER_SERVICE) == wanted)
                return true;
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
        return false;
    }

    fs::path root_;
    std::unique_ptr<platform::LocalServiceManager> scm_;
    int waits_ = 0;
};

TEST_F(LocalServiceInit, InitInstallsAndStartsTheDriverDaemon) {
    ASSERT_EQ(engine::init(), 1);
    auto config = scm_->config(VESTRAL_DRIVER_SERVICE);
    ASSERT_TRUE(config);
    EXPECT_EQ(config->binaryPath, (root_ / "program" / VESTRAL_DRIVER_FILE).string());
    EXPECT_EQ(config->type, platform::ServiceType::KernelDriver);
    EXPECT_EQ(config->startType, platform::StartType::Automatic);
    EXPECT_EQ(scm_->query(VESTRAL_DRIVER_SERVICE), ServiceState::Running);

    // Installed and running: the next start-up only opens it.
    fs::remove(root_ / "program" / VESTRAL_DRIVER_FILE);
    fs::create_symlink("/bin/false", root_ / "program" / VESTRAL_DRIVER_FILE);
    int waitsBefore = waits_;
    EXPECT_EQ(engine::init(), 1);
    EXPECT_EQ(waits_, waitsBefore);
    EXPECT_EQ(engine::setExeDfd(1), 1);

    // A stopped driver is started again.
    ASSERT_TRUE(scm_->stop(VESTRAL_DRIVER_SERVICE));
    ASSERT_TRUE(waitFor(ServiceState::Stopped));
    fs::remove(root_ / "program" / VESTRAL_DRIVER_FILE);
    fs::create_symlink(FAKE_VESTRALD_PATH, root_ / "program" / VESTRAL_DRIVER_FILE);
    EXPECT_EQ(engine::init(), 1);
}

}  // namespace
