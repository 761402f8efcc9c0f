#include "question_timer.h"

namespace vestrald {

void QuestionTimer::start() {
    {
        std::lock_guard lock(mutex_);
        stopping_ = false;
    }
    thread_ = std::thread([this] { run(); });
}

void QuestionTimer::stop() {
    {
        std::lock_guard lock(mutex_);
        stopping_ = true;
    }
    wake_.notify_all();
    if (thread_.joinable())
        thread_.join();
}

void QuestionTimer::poke() {
    {
        std::lock_guard lock(mutex_);
        poked_ = true;
    }
    wake_.notify_all();
}

void QuestionTimer::run() {
    std::optional<SteadyClock::time_point> next;
    std::unique_lock lock(mutex_);
    while (!stopping_) {
        auto until = next ? *next : SteadyClock::now() + std::chrono::seconds(1);
        wake_.wait_until(lock, until, [this] { return stopping_ || poked_; });
        if (stopping_)
            break;
        poked_ = false;
        lock.unlock();
        next = driver_.expire(SteadyClock::now());
        lock.lock();
    }
}

}  // namespace vestrald
