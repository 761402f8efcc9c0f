// The local service manager with real programs: small shell scripts as services, a device
// socket for a kernel-driver service, and the registry folder as the only shared state.
#include <gtest/gtest.h>
#include <stdlib.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <thread>

#include "platform/device_server.h"
#include "platform/local_service_manager.h"

namespace {

namespace fs = std::filesystem;
using platform::LocalServiceManager;
using platform::ServiceConfig;
using platform::ServiceError;
using platform::ServiceState;

class LocalServiceManagerTest : public ::testing::Test {
  protected:
    void SetUp() override {
        root_ = fs::temp_directory_path() / ("cv-scm-" + std::to_string(::getpid()));
        fs::remove_all(root_);
        fs::create_directories(root_ / "devices");
        ::setenv("VESTRAL_DEVICE_DIR", (root_ / "devices").c_str(), 1);
        scm_ = LocalServiceManager::open((root_ / "registry").string());
        ASSERT_TRUE(scm_);
        scm_->setDependencyWait(std::chrono::milliseconds(5000), nullptr);
    }

    void TearDown() override {
        for (const std::string& name : started_) {
            if (scm_->query(name) != ServiceState::Stopped) {
                scm_->stop(name);
                waitFor(name, ServiceState::Stopped);
            }
        }
        fs::remove_all(root_);
    }

    // An own-process service running a shell script.
    ServiceConfig script(const std::string& name, const std::string& body) {
        fs::path file = root_ / (name + ".sh");
        std::ofstream(file) << "#!/bin/sh\n" << body << "\n";
        fs::permissions(file, fs::perms::owner_all, fs::perm_options::add);
        ServiceConfig config;
        config.name = name;
        config.displayName = name + " display";
        config.type = platform::ServiceType::OwnProcess;
        config.binaryPath = "\"" + file.string() + "\"";
        started_.push_back(name);
        return config;
    }

    // Reports Running through the status file, as the service framework does, then idles.
    static std::string reportingRunning(const std::string& extra = "") {
        return extra +
               "echo 4 > \"$CORVANTIS_SCM_DIR/$CORVANTIS_SCM_SERVICE.status\"\nexec sleep 30";
    }

    bool waitFor(const std::string& name, ServiceState wanted) {
        for (int i = 0; i < 500; ++i) {
            if (scm_->query(name) == wanted)
                return true;
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
        return false;
    }

    fs::path root_;
    std::unique_ptr<LocalServiceManager> scm_;
    std::vector<std::string> started_;
};

TEST_F(LocalServiceManagerTest, DefinitionIsKeptAndNeverReplaced) {
    ServiceConfig config;
    config.name = "CorvantisSvc";
    config.displayName = "CorvantisSvc";
    config.type = platform::ServiceType::OwnProcess;
    config.interactive = true;
    config.startType = platform::StartType::Automatic;
    config.errorControl = platform::ErrorControl::Normal;
    config.binaryPath = "\"/opt/corvantis dir/cvsvc\" --service";
    config.loadOrderGroup = "Extended Base";
    config.dependencies = {"VESTRAL"};
    EXPECT_FALSE(scm_->exists("CorvantisSvc"));
    ASSERT_TRUE(scm_->create(config));
    EXPECT_TRUE(scm_->exists("CorvantisSvc"));

    ServiceConfig other = config;
    other.binaryPath = "/elsewhere";
    EXPECT_FALSE(scm_->create(other));
    EXPECT_EQ(scm_->lastError(), ServiceError::Exists);

    auto read = scm_->config("CorvantisSvc");
    ASSERT_TRUE(read);
    EXPECT_EQ(read->displayName, config.displayName);
    EXPECT_EQ(read->type, config.type);
    EXPECT_TRUE(read->interactive);
    EXPECT_EQ(read->startType, config.startType);
    EXPECT_EQ(read->errorControl, config.errorControl);
    EXPECT_EQ(read->binaryPath, config.binaryPath);
    EXPECT_EQ(read->loadOrderGroup, config.loadOrderGroup);
    EXPECT_EQ(read->dependencies, config.dependencies);
    EXPECT_EQ(scm_->query("CorvantisSvc"), ServiceState::Stopped);

    ASSERT_TRUE(scm_->remove("CorvantisSvc"));
    EXPECT_FALSE(scm_->exists("CorvantisSvc"));
    EXPECT_FALSE(scm_->query("CorvantisSvc"));
    EXPECT_EQ(scm_->lastError(), ServiceError::NotFound);
}

TEST_F(LocalServiceManagerTest, NamesThatLeaveTheRegistryAreRefused) {
    for (const char* name : {"", "..", "../escape", "a/b", "two\nlines"}) {
        SCOPED_TRACE(name);
        ServiceConfig config;
        config.name = name;
        config.binaryPath = "/bin/true";
        EXPECT_FALSE(scm_->create(config));
        EXPECT_EQ(scm_->lastError(), ServiceError::BadConfig);
    }
}

TEST_F(LocalServiceManagerTest, OwnProcessServiceReportsItsWayThroughTheStates) {
    ASSERT_TRUE(scm_->create(script("Svc", reportingRunning())));
    ASSERT_TRUE(scm_->start("Svc"));
    ASSERT_TRUE(waitFor("Svc", ServiceState::Running));
    EXPECT_FALSE(scm_->start("Svc"));
    EXPECT_EQ(scm_->lastError(), ServiceError::AlreadyRunning);

    ASSERT_TRUE(scm_->stop("Svc"));
    EXPECT_TRUE(waitFor("Svc", ServiceState::Stopped));
    EXPECT_FALSE(scm_->stop("Svc"));
    EXPECT_EQ(scm_->lastError(), ServiceError::NotActive);
}

TEST_F(LocalServiceManagerTest, StartedProgramRunsDetachedWithTheRegistryInItsEnvironment) {
    fs::path out = root_ / "env.txt";
    // Fields 4 and 6 of /proc/PID/stat: the parent and the session.
    ASSERT_TRUE(scm_->create(
        script("Env", "set -- $(cat /proc/$$/stat)\necho \"$CORVANTIS_SCM_SERVICE $$ $4 $6\" > " +
                          out.string() + ".tmp; mv " + out.string() + ".tmp " + out.string() +
                          "\n" + reportingRunning())));
    ASSERT_TRUE(scm_->start("Env"));
    for (int i = 0; i < 500 && !fs::exists(out); ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    std::string service;
    long pid = 0, parent = 0, session = 0;
    std::ifstream(out) >> service >> pid >> parent >> session;
    EXPECT_EQ(service, "Env");
    EXPECT_NE(session, ::getsid(0));  // out of the caller's session
    EXPECT_NE(parent, ::getpid());    // not a child of the caller
}

// Top needs Mid and Base, Mid needs Base: Base starts once, first, and each dependency runs
// before its dependent starts.
TEST_F(LocalServiceManagerTest, DependenciesStartFirst) {
    fs::path order = root_ / "order.txt";
    auto logged = [&](const char* name) {
        return reportingRunning(std::string("echo ") + name + " >> " + order.string() + "\n");
    };
    ASSERT_TRUE(scm_->create(script("Base", logged("Base"))));
    ServiceConfig mid = script("Mid", logged("Mid"));
    mid.dependencies = {"Base"};
    ASSERT_TRUE(scm_->create(mid));
    ServiceConfig top = script("Top", logged("Top"));
    top.dependencies = {"Mid", "Base"};
    ASSERT_TRUE(scm_->create(top));
    ASSERT_TRUE(scm_->start("Top")) << static_cast<int>(scm_->lastError());
    EXPECT_EQ(scm_->query("Base"), ServiceState::Running);
    EXPECT_EQ(scm_->query("Mid"), ServiceState::Running);
    ASSERT_TRUE(waitFor("Top", ServiceState::Running));
    std::ifstream lines(order);
    std::vector<std::string> started;
    for (std::string line; lines >> line;)
        started.push_back(line);
    EXPECT_EQ(started, (std::vector<std::string>{"Base", "Mid", "Top"}));
}

TEST_F(LocalServiceManagerTest, StartFailuresAreReported) {
    ServiceConfig missing = script("NeedsGhost", reportingRunning());
    missing.dependencies = {"Ghost"};
    ASSERT_TRUE(scm_->create(missing));
    EXPECT_FALSE(scm_->start("NeedsGhost"));
    EXPECT_EQ(scm_->lastError(), ServiceError::DependencyFailed);

    ServiceConfig disabled = script("Off", reportingRunning());
    disabled.startType = platform::StartType::Disabled;
    ASSERT_TRUE(scm_->create(disabled));
    EXPECT_FALSE(scm_->start("Off"));
    EXPECT_EQ(scm_->lastError(), ServiceError::Disabled);

    ServiceConfig absent;
    absent.name = "Absent";
    absent.binaryPath = (root_ / "no-such-program").string();
    ASSERT_TRUE(scm_->create(absent));
    EXPECT_FALSE(scm_->start("Absent"));
    EXPECT_EQ(scm_->lastError(), ServiceError::SystemError);
    EXPECT_EQ(scm_->lastSystemError(), ENOENT);

    EXPECT_FALSE(scm_->start("Nobody"));
    EXPECT_EQ(scm_->lastError(), ServiceError::NotFound);

    ASSERT_TRUE(scm_->create(script("Quits", "exit 0")));
    ASSERT_TRUE(scm_->start("Quits"));
    EXPECT_TRUE(waitFor("Quits", ServiceState::Stopped));
}

// A kernel-driver service counts as running once its daemon created all its devices, and as
// stopped when its process is gone; its start returns only then.
TEST_F(LocalServiceManagerTest, KernelDriverRunsOnceItsDevicesExist) {
    fs::path device = root_ / "devices" / "DEV";
    ServiceConfig driver = script("Drv", "exec sleep 30");
    driver.type = platform::ServiceType::KernelDriver;
    driver.devices = {"DEV"};
    ASSERT_TRUE(scm_->create(driver));
    int waits = 0;
    platform::UniqueFd listener;
    scm_->setDependencyWait(std::chrono::milliseconds(5000), [&](std::chrono::milliseconds) {
        if (++waits == 3)
            listener = platform::device::listenOnDevice(device.string(), 0660);
    });
    ASSERT_TRUE(scm_->start("Drv"));
    EXPECT_EQ(waits, 3);
    EXPECT_EQ(scm_->query("Drv"), ServiceState::Running);
    listener.reset();
    fs::remove(device);
    EXPECT_EQ(scm_->query("Drv"), ServiceState::StartPending);
    ASSERT_TRUE(scm_->stop("Drv"));
    EXPECT_TRUE(waitFor("Drv", ServiceState::Stopped));

    ServiceConfig broken = script("Broken", "exit 1");
    broken.type = platform::ServiceType::KernelDriver;
    broken.devices = {"DEV"};
    ASSERT_TRUE(scm_->create(broken));
    scm_->setDependencyWait(std::chrono::milliseconds(5000), [](std::chrono::milliseconds) {
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    });
    EXPECT_FALSE(scm_->start("Broken"));
}

TEST_F(LocalServiceManagerTest, AdoptedProcessCountsAsTheService) {
    ServiceConfig config;
    config.name = "Adopted";
    config.type = platform::ServiceType::KernelDriver;
    config.binaryPath = "/bin/true";
    ASSERT_TRUE(scm_->create(config));
    ASSERT_TRUE(scm_->adoptProcess("Adopted", static_cast<int>(::getpid())));
    EXPECT_EQ(scm_->query("Adopted"), ServiceState::Running);
    EXPECT_FALSE(scm_->adoptProcess("Adopted", 0));
}

}  // namespace
