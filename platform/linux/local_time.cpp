#include "platform/local_time.h"

#include <sys/time.h>
#include <time.h>

namespace platform {

LocalTimeReading readLocalTime() {
    struct timeval now {};
    ::gettimeofday(&now, nullptr);
    time_t seconds = now.tv_sec;
    struct tm local {};
    ::localtime_r(&seconds, &local);

    LocalTimeReading reading;
    reading.time.year = static_cast<uint16_t>(local.tm_year + 1900);
    reading.time.month = static_cast<uint16_t>(local.tm_mon + 1);
    reading.time.dayOfWeek = static_cast<uint16_t>(local.tm_wday);
    reading.time.day = static_cast<uint16_t>(local.tm_mday);
    reading.time.hour = static_cast<uint16_t>(local.tm_hour);
    reading.time.minute = static_cast<uint16_t>(local.tm_min);
    reading.time.second = static_cast<uint16_t>(local.tm_sec > 59 ? 59 : local.tm_sec);
    reading.time.milliseconds = static_cast<uint16_t>(now.tv_usec / 1000);
    // tm_gmtoff is seconds east of UTC; the bias counts the other way, in minutes.
    reading.biasMinutes = static_cast<int32_t>(-local.tm_gmtoff / 60);
    return reading;
}

uint32_t tickCountMs() {
    struct timespec ts {};
    ::clock_gettime(CLOCK_MONOTONIC, &ts);
    uint64_t ms =
        static_cast<uint64_t>(ts.tv_sec) * 1000u + static_cast<uint64_t>(ts.tv_nsec) / 1000000u;
    return static_cast<uint32_t>(ms);
}

}  // namespace platform
