#include "platform/local_time.h"

#include <gtest/gtest.h>
#include <stdlib.h>
#include <time.h>

#include <optional>
#include <string>

namespace {

// Sets TZ for one test and puts the old value back afterwards.
class ZoneScope {
  public:
    explicit ZoneScope(const char* zone) {
        if (const char* old = ::getenv("TZ"))
            old_ = old;
        ::setenv("TZ", zone, 1);
        ::tzset();
    }
    ~ZoneScope() {
        if (old_) {
            ::setenv("TZ", old_->c_str(), 1);
        } else {
            ::unsetenv("TZ");
        }
        ::tzset();
    }

  private:
    std::optional<std::string> old_;
};

TEST(LocalTime, BiasFollowsTheZoneInMinutes) {
    // POSIX zone rules without daylight saving, so the result does not depend on the date.
    struct Case {
        const char* zone;
        int32_t bias;
    };
    const Case cases[] = {
        {"CST-8", -480}, {"EST5", 300}, {"IST-5:30", -330}, {"UTC0", 0}, {"NST3:30", 210}};
    for (const Case& c : cases) {
        ZoneScope scope(c.zone);
        EXPECT_EQ(platform::readLocalTime().biasMinutes, c.bias) << c.zone;
    }
}

TEST(LocalTime, FieldsDescribeTheCurrentLocalTime) {
    ZoneScope scope("UTC0");
    time_t before = ::time(nullptr);
    platform::SystemTime t = platform::readLocalTime().time;
    struct tm utc {};
    ::gmtime_r(&before, &utc);
    EXPECT_EQ(t.year, utc.tm_year + 1900);
    EXPECT_GE(t.month, 1);
    EXPECT_LE(t.month, 12);
    EXPECT_LE(t.dayOfWeek, 6);
    EXPECT_LT(t.milliseconds, 1000);

    uint32_t first = platform::tickCountMs();
    uint32_t second = platform::tickCountMs();
    EXPECT_LE(second - first, 1000u);  // monotonic and in milliseconds
}

}  // namespace
