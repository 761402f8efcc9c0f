#include "daemon_fixture.h"

#include <fcntl.h>
#include <poll.h>
#include <sched.h>
#include <signal.h>
#include <sys/eventfd.h>
#include <sys/fanotify.h>
#include <sys/mount.h>
#include <sys/prctl.h>
#include <sys/uio.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <thread>

#include <fstream>
#include <sstream>

#include "item_tables.h"
#include "mount_table.h"

namespace vestrald {

namespace {

using namespace std::chrono_literals;

pid_t forkExec(const std::string& path, const std::vector<std::string>& args) {
    std::vector<char*> argv;
    for (const std::string& arg : args)
        argv.push_back(const_cast<char*>(arg.c_str()));
    argv.push_back(nullptr);
    pid_t pid = ::fork();
    if (pid == 0) {
        ::prctl(PR_SET_PDEATHSIG, SIGKILL);
        ::execv(path.c_str(), argv.data());
        ::_exit(127);
    }
    return pid;
}

}  // namespace

void DaemonTest::SetUp() {
    if (::geteuid() != 0)
        GTEST_SKIP() << "vestrald tests need root (fanotify and mounts)";
    int probe = ::fanotify_init(FAN_CLASS_CONTENT | FAN_CLOEXEC | FAN_REPORT_TID, O_RDONLY);
    if (probe < 0)
        GTEST_SKIP() << "fanotify permission events are not available: " << std::strerror(errno);
    ::close(probe);
    if (::unshare(CLONE_NEWNS) != 0)
        GTEST_SKIP() << "cannot make a private mount namespace: " << std::strerror(errno);
    ASSERT_EQ(::mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr), 0);

    char folder[] = "/tmp/vestrald-daemon-XXXXXX";
    ASSERT_TRUE(::mkdtemp(folder));
    work_ = folder;
    root_ = work_ + "/fs";
    std::filesystem::create_directories(root_);
    std::filesystem::create_directories(work_ + "/bin");
    ASSERT_EQ(::mount("vestrald-test", root_.c_str(), "tmpfs", MS_NOSUID | MS_NODEV, "size=16m"), 0)
        << std::strerror(errno);
    mounted_ = true;
    auto table = readMountTable();
    for (size_t i = 0; i < table.size(); ++i) {
        if (table[i].mountPoint == root_)
            driveBit_ = static_cast<int>(i);
    }
    if (driveBit_ < 0 || driveBit_ >= 32)
        GTEST_SKIP() << "the test file system is not among the first 32 mounts";
    ::setenv("VESTRAL_DEVICE_DIR", (work_ + "/devices").c_str(), 1);
}

void DaemonTest::TearDown() {
    monitor_.reset();
    items_.reset();
    requests_.reset();
    if (questionEvent_ >= 0)
        ::close(questionEvent_);
    if (daemon_ > 0)
        killDaemon(SIGKILL);
    for (pid_t child : children_) {
        ::kill(child, SIGKILL);
        ::waitpid(child, nullptr, 0);
    }
    if (mounted_)
        ::umount2(root_.c_str(), MNT_DETACH);
    if (!work_.empty())
        std::filesystem::remove_all(work_);
}

void DaemonTest::startDaemon(int questionTimeoutMs) {
    daemon_ = forkExec(VESTRALD_PATH,
                       {"vestrald", "--device-dir", work_ + "/devices", "--question-timeout",
                        std::to_string(questionTimeoutMs), "--allow-mount", root_});
    ASSERT_GT(daemon_, 0);
    auto deadline = std::chrono::steady_clock::now() + 15s;
    while (std::chrono::steady_clock::now() < deadline) {
        monitor_ = platform::DeviceHandle::open(VESTRAL_MONITOR_DEVICE);
        if (monitor_)
            break;
        ASSERT_EQ(::waitpid(daemon_, nullptr, WNOHANG), 0) << "vestrald ended at start";
        std::this_thread::sleep_for(10ms);
    }
    ASSERT_TRUE(monitor_) << "vestrald did not serve its devices";
    items_ = platform::DeviceHandle::open(VESTRAL_CONTROL_DEVICE);
    requests_ = platform::DeviceHandle::open(VESTRAL_CONTROL_DEVICE);
    ASSERT_TRUE(items_ && requests_);
}

void DaemonTest::killDaemon(int signal) {
    ::kill(daemon_, signal);
    ::waitpid(daemon_, nullptr, 0);
    daemon_ = -1;
}

void DaemonTest::engineStartup() {
    uint32_t version = 0;
    ASSERT_TRUE(monitor_->control(IOCTL_VESTRAL_GET_VERSION, nullptr, 0, &version, 4));
    ASSERT_EQ(version, 400u);
    ASSERT_TRUE(monitor_->control(IOCTL_VESTRAL_STARTUP, nullptr, 0, nullptr, 0));
    uint32_t mask = 1u << driveBit_;
    ASSERT_TRUE(monitor_->control(IOCTL_VESTRAL_SET_DRIVES, &mask, 4, &mask, 4));
    uint8_t mode = 0;
    uint32_t start = 1;
    ASSERT_TRUE(monitor_->control(IOCTL_VESTRAL_SET_TIME_MODE, &mode, 1, nullptr, 0));
    ASSERT_TRUE(monitor_->control(IOCTL_VESTRAL_START_CAPTURE, &start, 4, nullptr, 0));
}

void DaemonTest::applyItems(const std::vector<std::pair<std::string, std::string>>& items) {
    auto table = makeItemTable(items);
    ASSERT_TRUE(
        items_->control(IOCTL_CONTROL_APPLY_ITEMS, table.get(), sizeof(ItemTable), nullptr, 0));
}

void DaemonTest::control(uint32_t code) {
    ASSERT_TRUE(items_->control(code, nullptr, 0, nullptr, 0)) << std::hex << code;
}

void DaemonTest::listen() {
    if (questionEvent_ >= 0)
        ::close(questionEvent_);
    questionEvent_ = ::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
    uint32_t handle = static_cast<uint32_t>(questionEvent_);
    ASSERT_TRUE(requests_->control(IOCTL_CONTROL_SET_QUESTION_EVENT, &handle, 4, nullptr, 0,
                                   nullptr, questionEvent_));
}

std::optional<AccessQuestion> DaemonTest::waitQuestion(int ms) {
    auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
    for (;;) {
        AccessQuestion question{};
        question.Valid = 1;
        // The engine fetches after each wake-up; a fetch may also find the question at once.
        if (requests_->control(IOCTL_CONTROL_FETCH_QUESTION, nullptr, 0, &question,
                               sizeof(question)) &&
            question.Valid == 1)
            return question;
        auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
            deadline - std::chrono::steady_clock::now());
        if (left.count() <= 0)
            return std::nullopt;
        pollfd wait{questionEvent_, POLLIN, 0};
        if (::poll(&wait, 1, static_cast<int>(std::min<long>(left.count(), 50))) == 1) {
            uint64_t count;
            [[maybe_unused]] ssize_t n = ::read(questionEvent_, &count, sizeof(count));
        }
    }
}

bool DaemonTest::reply(AccessQuestion question, AccessDecision decision) {
    question.Decision = decision;
    return requests_->control(IOCTL_CONTROL_REPLY, &question, sizeof(question), nullptr, 0);
}

std::vector<std::string> DaemonTest::readEvents() {
    std::vector<uint8_t> buffer(VESTRAL_EVENT_BUFFER_SIZE);
    uint32_t count = 0;
    std::vector<std::string> texts;
    if (!monitor_->control(IOCTL_VESTRAL_READ_EVENTS, nullptr, 0, buffer.data(),
                           VESTRAL_EVENT_BUFFER_SIZE, &count))
        return texts;
    for (size_t at = 0; at + sizeof(EventEntryHeader) < count;) {
        std::string text(reinterpret_cast<const char*>(buffer.data() + at + 16));
        at += 16 + ((text.size() + 4) & ~size_t{3});
        texts.push_back(text);
    }
    return texts;
}

std::string DaemonTest::itemPrograms(size_t index) {
    auto table = std::make_unique<ItemTable>();
    if (!items_->control(IOCTL_CONTROL_GET_ITEMS, nullptr, 0, table.get(), sizeof(ItemTable)))
        return "<read failed>";
    if (index >= table->Count)
        return "<no item>";
    return std::string(table->Items[index].Programs, table->Items[index].ProgramsLength);
}

std::string DaemonTest::program(const std::string& name) {
    std::string path = work_ + "/bin/" + name;
    if (!std::filesystem::exists(path))
        std::filesystem::copy_file(OPENER_PATH, path);
    return path;
}

pid_t DaemonTest::spawn(const std::string& programName, const std::string& path, const char* mode) {
    pid_t pid = forkExec(program(programName), {programName, path, mode});
    children_.push_back(pid);
    return pid;
}

std::optional<int> DaemonTest::waitExit(pid_t pid, int ms) {
    auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
    for (;;) {
        int status = 0;
        if (::waitpid(pid, &status, WNOHANG) == pid) {
            std::erase(children_, pid);
            return WIFEXITED(status) ? WEXITSTATUS(status) : 200;
        }
        if (std::chrono::steady_clock::now() >= deadline)
            return std::nullopt;
        std::this_thread::sleep_for(2ms);
    }
}

int DaemonTest::run(const std::string& programName, const std::string& path, const char* mode) {
    return waitExit(spawn(programName, path, mode)).value_or(-1);
}

bool DaemonTest::waitBlockedOn(pid_t pid, const std::string& path, int ms) {
    auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
    while (std::chrono::steady_clock::now() < deadline) {
        std::ifstream file("/proc/" + std::to_string(pid) + "/syscall");
        long nr = -1;
        std::string dirfd, pathArg;
        file >> nr >> dirfd >> pathArg;
        if (nr == 257) {  // openat: read the path argument from the opener
            std::vector<char> text(path.size() + 1);
            iovec local{text.data(), text.size()};
            iovec remote{reinterpret_cast<void*>(std::stoull(pathArg, nullptr, 16)), text.size()};
            if (::process_vm_readv(pid, &local, 1, &remote, 1, 0) ==
                    static_cast<ssize_t>(text.size()) &&
                std::string(text.data(), path.size()) == path && text.back() == '\0')
                return true;
        }
        std::this_thread::sleep_for(2ms);
    }
    return false;
}

}  // namespace vestrald
