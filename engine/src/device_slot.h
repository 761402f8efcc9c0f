// One of the engine's device handles (monitor, item or request handle): unset until first need,
// opened on demand, reopened after it was closed or broke. The slot owns the handle; callers
// borrow it for one request at a time, so closing the slot never pulls a handle from under a
// request in flight.
#pragma once

#include <cstdint>
#include <memory>
#include <mutex>
#include <string>

#include "platform/device_channel.h"

namespace engine {

class DeviceSlot {
  public:
    explicit DeviceSlot(std::string deviceName) : deviceName_(std::move(deviceName)) {}

    // The open handle, opened first when unset or broken. Null when the open fails; the slot is
    // then unset.
    std::shared_ptr<platform::DeviceHandle> acquire();
    // Opens a new handle in place of the current one (unset when the open fails). True on success.
    bool reopen();
    // Closes the handle; the next acquire opens a new one.
    void close();
    bool isOpen() const;

    // One request on the handle, opening it first when needed. False when the open or the
    // request fails. `*returned` (when given) gets the output bytes delivered.
    bool request(uint32_t code, const void* in, uint32_t inLen, void* out, uint32_t outLen,
                 uint32_t* returned = nullptr, int passFd = -1);

  private:
    const std::string deviceName_;
    mutable std::mutex mutex_;
    std::shared_ptr<platform::DeviceHandle> handle_;
};

}  // namespace engine
