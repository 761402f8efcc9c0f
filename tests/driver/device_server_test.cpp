#include "device_server.h"

#include <gtest/gtest.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <atomic>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <random>
#include <thread>

#include "fake_kernel_filter.h"
#include "platform/device_channel.h"
#include "platform/device_protocol.h"

namespace vestrald {
namespace {

TEST(DeviceServerSetup, SocketsAreGroupOnlyInAFolderOfOurOwn) {
    char folder[] = "/tmp/vestrald-devices-XXXXXX";
    ASSERT_TRUE(::mkdtemp(folder));
    FakeKernelFilter filter;
    FilterDriver driver{filter, DriverSettings{}};
    ExemptProcesses exempt{::getpid()};
    {
        DeviceServer server(driver, exempt, folder);
        ASSERT_EQ(server.start(), 0);
        struct stat info {};
        ASSERT_EQ(::stat((std::string(folder) + "/VESTRAL").c_str(), &info), 0);
        EXPECT_EQ(info.st_mode & 0777, 0660u);
        ASSERT_EQ(::stat((std::string(folder) + "/MyControlDevice").c_str(), &info), 0);
        EXPECT_EQ(info.st_mode & 0777, 0660u);
        ASSERT_EQ(::stat(folder, &info), 0);
        EXPECT_EQ(info.st_mode & 0002, 0u);
    }
    // A folder anybody may write to is refused.
    ASSERT_EQ(::chmod(folder, 0777), 0);
    DeviceServer open(driver, exempt, folder);
    EXPECT_EQ(open.start(), EPERM);
    std::filesystem::remove_all(folder);
}

class LiveServer : public ::testing::Test {
  protected:
    void SetUp() override {
        char folder[] = "/tmp/vestrald-devices-XXXXXX";
        ASSERT_TRUE(::mkdtemp(folder));
        directory = folder;
        ::setenv("VESTRAL_DEVICE_DIR", folder, 1);
        server = std::make_unique<DeviceServer>(driver, exempt, directory);
        ASSERT_EQ(server->start(), 0);
    }
    void TearDown() override {
        server.reset();
        std::filesystem::remove_all(directory);
    }
    int rawConnection(const char* device) {
        sockaddr_un address{};
        address.sun_family = AF_UNIX;
        std::string path = directory + "/" + device;
        std::memcpy(address.sun_path, path.c_str(), path.size() + 1);
        int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
        if (::connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof(address)) != 0) {
            ::close(fd);
            return -1;
        }
        return fd;
    }
    static uint32_t version(platform::DeviceHandle& handle) {
        uint32_t value = 0;
        return handle.control(IOCTL_VESTRAL_GET_VERSION, nullptr, 0, &value, 4) ? value : 0;
    }

    std::string directory;
    FakeKernelFilter filter;
    FilterDriver driver{filter, DriverSettings{}};
    ExemptProcesses exempt{::getpid()};
    std::unique_ptr<DeviceServer> server;
};

TEST_F(LiveServer, ManyHandlesAndThreadsAtOnce) {
    std::vector<std::thread> threads;
    std::atomic<int> failures{0};
    for (int t = 0; t < 6; ++t) {
        threads.emplace_back([&, t] {
            auto monitor = platform::DeviceHandle::open(VESTRAL_MONITOR_DEVICE);
            auto control = platform::DeviceHandle::open(VESTRAL_CONTROL_DEVICE);
            if (!monitor || !control) {
                ++failures;
                return;
            }
            auto table = std::make_unique<ItemTable>();
            for (int i = 0; i < 20; ++i) {
                if (version(*monitor) != 400)
                    ++failures;
                uint32_t code = (i + t) % 2 ? IOCTL_CONTROL_EXE_ON : IOCTL_CONTROL_EXE_OFF;
                if (!control->control(code, nullptr, 0, nullptr, 0))
                    ++failures;
                if (i % 5 == 0 && !control->control(IOCTL_CONTROL_GET_ITEMS, nullptr, 0,
                                                    table.get(), sizeof(ItemTable)))
                    ++failures;
            }
        });
    }
    for (auto& thread : threads)
        thread.join();
    EXPECT_EQ(failures.load(), 0);
}

TEST_F(LiveServer, RandomizedMalformedFramesDropOnlyTheirOwnConnection) {
    auto good = platform::DeviceHandle::open(VESTRAL_MONITOR_DEVICE);
    ASSERT_TRUE(good);
    unsigned seed = std::random_device{}();
    SCOPED_TRACE("seed " + std::to_string(seed));
    std::mt19937 random(seed);
    for (int round = 0; round < 150; ++round) {
        int fd = rawConnection(round % 2 ? VESTRAL_MONITOR_DEVICE : VESTRAL_CONTROL_DEVICE);
        ASSERT_GE(fd, 0);
        std::vector<uint8_t> frame(random() % 48);
        for (auto& byte : frame)
            byte = static_cast<uint8_t>(random());
        platform::device::RequestHeader header{platform::device::kMagic, 0, 0, 0};
        switch (round % 4) {
            case 0:  // random bytes
                break;
            case 1:  // valid magic, a length over the limit
                header.code = static_cast<uint32_t>(random());
                header.inLen = platform::device::kMaxPayload + 1 + random() % 1000;
                if (!frame.empty())
                    std::memcpy(frame.data(), &header, std::min(frame.size(), sizeof(header)));
                break;
            case 2:  // a request that promises more input than it sends, then hangs up
                header.code = IOCTL_CONTROL_APPLY_ITEMS;
                header.inLen = sizeof(ItemTable);
                frame.resize(sizeof(header) + random() % 64);
                std::memcpy(frame.data(), &header, sizeof(header));
                break;
            case 3:  // a well-formed request with random code and random input
                header.code = 0x83000000u + static_cast<uint32_t>(random() % 0x01000060);
                header.inLen = static_cast<uint32_t>(frame.size() > 16 ? frame.size() - 16 : 0);
                header.outLen = static_cast<uint32_t>(random() % 64);
                if (frame.size() >= 16)
                    std::memcpy(frame.data(), &header, sizeof(header));
                break;
        }
        if (!frame.empty()) {
            [[maybe_unused]] ssize_t n = ::send(fd, frame.data(), frame.size(), MSG_NOSIGNAL);
        }
        ::shutdown(fd, SHUT_WR);
        char reply[256];
        while (::recv(fd, reply, sizeof(reply), 0) > 0) {
        }
        ::close(fd);
        ASSERT_EQ(version(*good), 400u) << "round " << round;
    }
    EXPECT_EQ(driver.heldCount(), 0u);
}

}  // namespace
}  // namespace vestrald
