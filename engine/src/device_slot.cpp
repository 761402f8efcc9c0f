#include "device_slot.h"

namespace engine {

std::shared_ptr<platform::DeviceHandle> DeviceSlot::acquire() {
    std::lock_guard lock(mutex_);
    if (handle_ && handle_->isOpen())
        return handle_;
    handle_ = platform::DeviceHandle::open(deviceName_);
    return handle_;
}

bool DeviceSlot::reopen() {
    std::lock_guard lock(mutex_);
    handle_ = platform::DeviceHandle::open(deviceName_);
    return handle_ != nullptr;
}

void DeviceSlot::close() {
    std::lock_guard lock(mutex_);
    handle_.reset();
}

bool DeviceSlot::isOpen() const {
    std::lock_guard lock(mutex_);
    return handle_ && handle_->isOpen();
}

bool DeviceSlot::request(uint32_t code, const void* in, uint32_t inLen, void* out, uint32_t outLen,
                         uint32_t* returned, int passFd) {
    if (returned)
        *returned = 0;
    std::shared_ptr<platform::DeviceHandle> handle = acquire();
    return handle && handle->control(code, in, inLen, out, outLen, returned, passFd);
}

}  // namespace engine
