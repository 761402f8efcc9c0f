// The thread that reads the fanotify group's events and answers them. It owns that thread and a
// wake-up eventfd; it borrows the filter (descriptor, answers, cache), the driver (decisions)
// and the exempt-process list. It never writes a file and never waits for another thread's
// work: every open it does not hand to the driver is answered before it reads the next event.
#pragma once

#include <atomic>
#include <thread>

#include "exempt_processes.h"
#include "fanotify_filter.h"
#include "filter_driver.h"
#include "platform/unique_fd.h"

namespace vestrald {

class FanotifyReader {
  public:
    FanotifyReader(FanotifyFilter& filter, FilterDriver& driver, ExemptProcesses& exempt);
    ~FanotifyReader();

    bool start();
    void stop();  // joins the thread

    uint64_t overflows() const { return overflows_.load(); }

  private:
    void run();
    void handle(int fd, pid_t tid, uint64_t mask);

    FanotifyFilter& filter_;
    FilterDriver& driver_;
    ExemptProcesses& exempt_;
    platform::UniqueFd wake_;
    std::thread thread_;
    std::atomic<uint64_t> overflows_{0};
};

}  // namespace vestrald
