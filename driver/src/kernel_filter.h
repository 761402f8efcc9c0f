// The kernel side of the filter as the driver logic sees it: marks and answers. Implemented on
// fanotify by FanotifyFilter; tests use a fake.
#pragma once

#include <cstdint>

namespace vestrald {

class KernelFilter {
  public:
    virtual ~KernelFilter() = default;
    // Watches the file systems the drive mask selects while `active`; watches nothing otherwise.
    virtual void configure(uint32_t driveMask, bool active) = 0;
    // Forgets every file cached as "never ask" (the decision may have changed).
    virtual void flushCache() = 0;
    // Lets a held open proceed or refuses it.
    virtual void answer(int eventFd, bool allow) = 0;
};

}  // namespace vestrald
