// Local wall-clock time with its offset from UTC, and a millisecond tick count.
#pragma once

#include <cstdint>

namespace platform {

// A calendar time split into fields (the layout of a Windows SYSTEMTIME).
struct SystemTime {
    uint16_t year = 1970;
    uint16_t month = 1;      // 1 to 12
    uint16_t dayOfWeek = 4;  // 0 Sunday to 6 Saturday
    uint16_t day = 1;        // 1 to 31
    uint16_t hour = 0;
    uint16_t minute = 0;
    uint16_t second = 0;
    uint16_t milliseconds = 0;
};

// The local time and, read at the same instant, the zone's bias in minutes: UTC = local + bias
// (so UTC+08:00 has bias -480, UTC-05:00 has 300). Daylight saving time is included in the bias.
struct LocalTimeReading {
    SystemTime time;
    int32_t biasMinutes = 0;
};

// The local time now, with the zone of the process ($TZ, else /etc/localtime).
LocalTimeReading readLocalTime();

// Milliseconds since the machine started (monotonic; wraps after 49.7 days like GetTickCount).
uint32_t tickCountMs();

}  // namespace platform
