#include "mime/mail_date.h"

#include <cstdio>
#include <cstdlib>

namespace mail {
namespace {

constexpr const char* kDays[] = {"Sun", "Mon", "Tue", "Wed", "Thu", "Fri", "Sat"};
constexpr const char* kMonths[] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                   "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};

}  // namespace

int32_t ZoneOffsetFromBias(int32_t biasMinutes) {
    // C++ division and remainder truncate toward zero, as the offset's rule wants.
    return -(biasMinutes % 60) - (biasMinutes / 60) * 100;
}

std::string FormatMailDate(const platform::SystemTime& time, int32_t zoneOffset) {
    const char* day = kDays[time.dayOfWeek % 7];
    const char* month = kMonths[(time.month >= 1 && time.month <= 12) ? time.month - 1 : 0];
    char text[96];
    std::snprintf(text, sizeof text, "%s, %u %s %04u %u:%02u:%02u %c%4.4d", day, unsigned{time.day},
                  month, unsigned{time.year}, unsigned{time.hour}, unsigned{time.minute},
                  unsigned{time.second}, zoneOffset > 0 ? '+' : '-', std::abs(zoneOffset));
    return text;
}

}  // namespace mail
