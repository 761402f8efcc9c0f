#include "platform/mime_types.h"

#include <gtest/gtest.h>

#include <filesystem>

namespace {

const std::string kTable = std::string(PLATFORM_FIXTURE_DIR) + "/mime.types";

TEST(RegisteredContentType, LooksUpTheWholeKeyWithoutRegardToCase) {
    struct Case {
        const char* key;
        const char* expected;  // null: nothing registered
    };
    const Case cases[] = {
        {".txt", "text/plain"},
        {".TXT", "text/plain"},
        {".asc", "text/plain"},
        {".gz", "application/gzip"},
        {".tar.gz", "application/x-compressed-tar"},  // the key from the first '.', not ".gz"
        {".png", "image/png"},
        {".doc", nullptr},
        {".long", nullptr},  // a type longer than 259 bytes does not fit
        {".", nullptr},
        {"txt", nullptr},  // a key starts with '.'
        {"", nullptr},
    };
    for (const Case& c : cases) {
        auto type = platform::registeredContentType(c.key, kTable);
        if (c.expected) {
            EXPECT_EQ(type.value_or("(none)"), c.expected) << c.key;
        } else {
            EXPECT_FALSE(type.has_value()) << c.key << " gave " << *type;
        }
    }
    EXPECT_FALSE(platform::registeredContentType(".txt", kTable + ".missing").has_value());
}

TEST(RegisteredContentType, ReadsTheSystemTable) {
    if (!std::filesystem::exists(platform::kSystemMimeTypesFile)) {
        GTEST_SKIP() << platform::kSystemMimeTypesFile << " is not installed";
    }
    EXPECT_EQ(platform::registeredContentType(".txt").value_or("(none)"), "text/plain");
}

}  // namespace
