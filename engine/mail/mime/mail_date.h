// The Date header value: English names whatever the locale, zone offset as +hhmm / -hhmm.
#pragma once

#include <cstdint>
#include <string>

#include "platform/local_time.h"

namespace mail {

// Zone offset (signed hhmm) from a bias in minutes (UTC = local + bias): -480 gives 800,
// 300 gives -500, -330 gives 530.
int32_t ZoneOffsetFromBias(int32_t biasMinutes);

// "Tue, 5 Apr 2005 9:05:07 +0800": day without leading zero, hour without leading zero, the
// sign '+' only for offsets above 0 (so UTC gives "-0000").
std::string FormatMailDate(const platform::SystemTime& time, int32_t zoneOffset);

}  // namespace mail
