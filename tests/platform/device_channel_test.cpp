// The device channel end to end: a client DeviceHandle against a server built from the same
// framing code, including a descriptor passed with a request and servers that misbehave.
#include <gtest/gtest.h>
#include <stdlib.h>
#include <sys/eventfd.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cstring>
#include <filesystem>
#include <functional>
#include <thread>

#include "platform/device_channel.h"
#include "platform/device_server.h"

namespace {

namespace fs = std::filesystem;
using platform::DeviceHandle;
namespace device = platform::device;

// Serves exactly one connection on a device socket with a handler, on its own thread.
class OneShotServer {
public:
    using Handler = std::function<void(int connection)>;
    explicit OneShotServer(Handler handler) {
        char pattern[] = "/tmp/cv-devXXXXXX";
        dir_ = mkdtemp(pattern);
        setenv("VESTRAL_DEVICE_DIR", dir_.c_str(), 1);
        listener_ = device::listenOnDevice(dir_ + "/DEV", 0660);
        thread_ = std::thread([this, handler] {
            platform::UniqueFd connection(::accept(listener_.get(), nullptr, nullptr));
            if (connection) handler(connection.get());
        });
    }
    ~OneShotServer() {
        thread_.join();
        fs::remove_all(dir_);
    }

private:
    std::string dir_;
    platform::UniqueFd listener_;
    std::thread thread_;
};

TEST(DeviceChannel, RequestAndReplyTravelWhole) {
    OneShotServer server([](int c) {
        device::Request request;
        while (device::readRequest(c, request) == device::ReadResult::Ok) {
            std::vector<uint8_t> out(request.header.outLen, 0xAB);
            uint32_t sum = 0;
            for (uint8_t b : request.input) sum += b;
            if (out.size() >= 4) std::memcpy(out.data(), &sum, 4);
            device::sendReply(c, request.header.code != 7, 22, out.data(), out.size());
        }
    });
    auto handle = DeviceHandle::open("DEV");
    ASSERT_TRUE(handle);
    std::vector<uint8_t> big(1264004, 1);  // an item table is sent whole
    uint32_t answer[2] = {};
    uint32_t returned = 0;
    EXPECT_TRUE(handle->control(5, big.data(), big.size(), answer, sizeof(answer), &returned));
    EXPECT_EQ(returned, 8u);
    EXPECT_EQ(answer[0], 1264004u);
    // A failing request still delivers its output and reports the server's error code.
    EXPECT_FALSE(handle->control(7, nullptr, 0, answer, 4, &returned));
    EXPECT_EQ(handle->lastError(), 22);
    EXPECT_TRUE(handle->isOpen());
}

TEST(DeviceChannel, DescriptorTravelsWithRequest) {
    OneShotServer server([](int c) {
        device::Request request;
        ASSERT_EQ(device::readRequest(c, request), device::ReadResult::Ok);
        ASSERT_TRUE(request.passedFd.valid());
        uint64_t one = 1;
        ASSERT_EQ(::write(request.passedFd.get(), &one, sizeof(one)), 8);
        device::sendReply(c, true, 0, nullptr, 0);
    });
    auto handle = DeviceHandle::open("DEV");
    ASSERT_TRUE(handle);
    platform::UniqueFd event(::eventfd(0, EFD_CLOEXEC));
    uint32_t value = static_cast<uint32_t>(event.get());
    ASSERT_TRUE(handle->control(0x8400002C, &value, 4, nullptr, 0, nullptr, event.get()));
    uint64_t count = 0;
    ASSERT_EQ(::read(event.get(), &count, sizeof(count)), 8);
    EXPECT_EQ(count, 1u);
}

// Replies that break the framing: the call fails, nothing is written past the caller's buffer,
// and the handle is closed so that the owner reopens it.
TEST(DeviceChannel, MalformedRepliesCloseTheHandle) {
    struct Case {
        const char* what;
        std::function<void(int)> reply;
    };
    const Case cases[] = {
        {"hang-up", [](int) {}},
        {"short header", [](int c) { ::send(c, "\1\0\0", 3, MSG_NOSIGNAL); }},
        {"more output than asked",
         [](int c) {
             uint32_t h[3] = {1, 64, 0};
             ::send(c, h, sizeof(h), MSG_NOSIGNAL);
         }},
        {"bad status",
         [](int c) {
             uint32_t h[3] = {9, 0, 0};
             ::send(c, h, sizeof(h), MSG_NOSIGNAL);
         }},
        {"output cut short",
         [](int c) {
             uint32_t h[3] = {1, 4, 0};
             ::send(c, h, sizeof(h), MSG_NOSIGNAL);
             ::send(c, "ab", 2, MSG_NOSIGNAL);
         }},
    };
    for (const Case& test : cases) {
        SCOPED_TRACE(test.what);
        OneShotServer server([&](int c) {
            device::Request request;
            if (device::readRequest(c, request) == device::ReadResult::Ok) test.reply(c);
        });
        auto handle = DeviceHandle::open("DEV");
        ASSERT_TRUE(handle);
        uint8_t out[8] = {0, 0, 0, 0, 0xEE, 0xEE, 0xEE, 0xEE};
        uint32_t returned = 99;
        EXPECT_FALSE(handle->control(1, nullptr, 0, out, 4, &returned));
        EXPECT_EQ(returned, 0u);
        EXPECT_EQ(out[4], 0xEE);
        EXPECT_FALSE(handle->isOpen());
        EXPECT_FALSE(handle->control(1, nullptr, 0, out, 4));
    }
}

TEST(DeviceChannel, ServerRejectsBrokenFraming) {
    struct Case {
        const char* what;
        device::RequestHeader header;
    };
    const Case cases[] = {
        {"bad magic", {0x12345678, 1, 0, 0}},
        {"input over the limit", {device::kMagic, 1, device::kMaxPayload + 1, 0}},
        {"output over the limit", {device::kMagic, 1, 0, device::kMaxPayload + 1}},
        {"input missing", {device::kMagic, 1, 100, 0}},
    };
    for (const Case& test : cases) {
        SCOPED_TRACE(test.what);
        int pair[2];
        ASSERT_EQ(::socketpair(AF_UNIX, SOCK_STREAM, 0, pair), 0);
        platform::UniqueFd server(pair[0]), client(pair[1]);
        ASSERT_EQ(::send(client.get(), &test.header, sizeof(test.header), 0), 16);
        ::shutdown(client.get(), SHUT_WR);
        device::Request request;
        EXPECT_EQ(device::readRequest(server.get(), request), device::ReadResult::Malformed);
    }
}

TEST(DeviceChannel, AbsentDeviceFailsToOpen) {
    setenv("VESTRAL_DEVICE_DIR", "/nonexistent-corvantis", 1);
    int error = 0;
    EXPECT_EQ(DeviceHandle::open("VESTRAL", &error), nullptr);
    EXPECT_EQ(error, ENOENT);
}

}  // namespace
