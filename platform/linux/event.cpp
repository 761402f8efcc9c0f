#include "platform/event.h"

namespace platform {

void Event::set() {
    {
        std::lock_guard lock(mutex_);
        set_ = true;
    }
    if (mode_ == Reset::Manual) {
        changed_.notify_all();
    } else {
        changed_.notify_one();
    }
}

void Event::reset() {
    std::lock_guard lock(mutex_);
    set_ = false;
}

bool Event::wait(std::chrono::milliseconds timeout) {
    std::unique_lock lock(mutex_);
    if (!changed_.wait_for(lock, timeout, [this] { return set_; }))
        return false;
    if (mode_ == Reset::Auto)
        set_ = false;
    return true;
}

void Event::wait() {
    std::unique_lock lock(mutex_);
    changed_.wait(lock, [this] { return set_; });
    if (mode_ == Reset::Auto)
        set_ = false;
}

}  // namespace platform
