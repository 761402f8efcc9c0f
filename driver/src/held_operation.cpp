#include "held_operation.h"

#include <unistd.h>

#include <utility>

namespace vestrald {

PermissionEvent& PermissionEvent::operator=(PermissionEvent&& other) noexcept {
    if (this != &other) {
        reset();
        fd_ = std::exchange(other.fd_, -1);
        filter_ = std::exchange(other.filter_, nullptr);
        answered_ = std::exchange(other.answered_, false);
    }
    return *this;
}

void PermissionEvent::answer(bool allow) {
    if (answered_ || fd_ < 0)
        return;
    answered_ = true;
    if (filter_)
        filter_->answer(fd_, allow);
}

void PermissionEvent::reset() {
    if (fd_ < 0)
        return;
    answer(false);
    ::close(fd_);
    fd_ = -1;
    filter_ = nullptr;
    answered_ = false;
}

}  // namespace vestrald
