// The thread that denies questions nobody answered in time. Owns that thread; borrows the
// driver. Woken early when a question starts waiting, so a short time-out is honoured promptly.
#pragma once

#include <condition_variable>
#include <mutex>
#include <thread>

#include "filter_driver.h"

namespace vestrald {

class QuestionTimer {
  public:
    explicit QuestionTimer(FilterDriver& driver) : driver_(driver) {}
    ~QuestionTimer() { stop(); }

    void start();
    void stop();
    void poke();  // a question started waiting

  private:
    void run();

    FilterDriver& driver_;
    std::mutex mutex_;
    std::condition_variable wake_;
    bool stopping_ = false;
    bool poked_ = false;
    std::thread thread_;
};

}  // namespace vestrald
