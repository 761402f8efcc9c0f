// Client side of the device channel: one DeviceHandle is one open handle on a device of the
// filter driver (one Unix stream connection to $VESTRAL_DEVICE_DIR/NAME). It owns its socket;
// requests on one handle are serialized, so threads may share a handle safely.
#pragma once

#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>

#include "platform/unique_fd.h"

namespace platform {

// The folder that holds the device sockets: $VESTRAL_DEVICE_DIR, else /run/vestral.
std::string deviceDirectory();

class DeviceHandle {
public:
    // Opens the device called `name`. Null on failure; *error (when given) gets the errno value.
    static std::unique_ptr<DeviceHandle> open(std::string_view name, int* error = nullptr);

    // One synchronous control request. True when the driver reports success. `*returned` (when
    // given) gets the output bytes delivered, never more than outLen. `passFd` >= 0 travels with
    // the request (SCM_RIGHTS). A broken connection or a malformed reply closes the handle and
    // fails; lastError() then tells why (an errno value).
    bool control(uint32_t code, const void* in, uint32_t inLen, void* out, uint32_t outLen,
                 uint32_t* returned = nullptr, int passFd = -1);

    bool isOpen() const;
    int lastError() const;

    explicit DeviceHandle(UniqueFd socket) : socket_(std::move(socket)) {}

private:
    mutable std::mutex mutex_;
    UniqueFd socket_;
    int lastError_ = 0;
};

}  // namespace platform
