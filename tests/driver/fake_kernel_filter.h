// A kernel filter that records what the driver asks of it.
#pragma once

#include <fcntl.h>
#include <unistd.h>

#include <map>
#include <mutex>
#include <utility>
#include <vector>

#include "filter_driver.h"

namespace vestrald {

class FakeKernelFilter : public KernelFilter {
  public:
    void configure(uint32_t driveMask, bool active) override {
        std::lock_guard lock(mutex_);
        configured.push_back({driveMask, active});
    }
    void flushCache() override {
        std::lock_guard lock(mutex_);
        ++flushes;
    }
    void answer(int eventFd, bool allow) override {
        std::lock_guard lock(mutex_);
        answers[eventFd].push_back(allow);
    }
    // A descriptor number was handed out anew: forget what its earlier owner got.
    void forget(int fd) {
        std::lock_guard lock(mutex_);
        answers.erase(fd);
    }
    // The answers given to a descriptor (in order).
    std::vector<bool> answersFor(int fd) {
        std::lock_guard lock(mutex_);
        return answers[fd];
    }

    std::vector<std::pair<uint32_t, bool>> configured;
    int flushes = 0;

  private:
    std::mutex mutex_;
    std::map<int, std::vector<bool>> answers;
};

}  // namespace vestrald
