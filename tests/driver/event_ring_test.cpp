#include "event_ring.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "vestral.h"

namespace vestrald {
namespace {

struct Entry {
    size_t offset;
    EventEntryHeader header;
    std::string text;
};

// Walks a buffer the way the engine does.
std::vector<Entry> walk(const uint8_t* buffer, size_t count) {
    std::vector<Entry> entries;
    size_t at = 0;
    while (at + sizeof(EventEntryHeader) < count) {
        Entry entry{at, {}, {}};
        std::memcpy(&entry.header, buffer + at, sizeof(entry.header));
        entry.text = reinterpret_cast<const char*>(buffer + at + sizeof(EventEntryHeader));
        at += sizeof(EventEntryHeader) + ((entry.text.size() + 4) & ~size_t{3});
        entries.push_back(entry);
    }
    EXPECT_EQ(at, count) << "entries must end exactly at the returned count";
    return entries;
}

TEST(EventRing, EntriesHaveTheEngineLayout) {
    EventRing ring(16, [] { return uint64_t{133000000000000000}; });
    ring.setCapture(true);
    // Texts of 3, 4 and 0 bytes sit at 0, 20 and 44 and end at 64: build them from fields.
    auto a = EventRing::pack(1, 5, "abc");
    auto b = EventRing::pack(2, 5, "abcd");
    auto c = EventRing::pack(3, 5, "");
    std::vector<uint8_t> three(a);
    three.insert(three.end(), b.begin(), b.end());
    three.insert(three.end(), c.begin(), c.end());
    auto walked = walk(three.data(), three.size());
    ASSERT_EQ(walked.size(), 3u);
    EXPECT_EQ(walked[1].offset, 20u);
    EXPECT_EQ(walked[2].offset, 44u);
    EXPECT_EQ(three.size(), 64u);
    EXPECT_EQ(walked[2].header.Header, 20u);  // the header word holds the entry's size

    ring.add("vim", "READ", "/data/a", "DENY ONCE");
    ring.add("cp", "CREATE", "/data/b.exe", "ALLOW ONCE");
    std::vector<uint8_t> buffer(VESTRAL_EVENT_BUFFER_SIZE);
    uint32_t count = ring.read(buffer.data(), VESTRAL_EVENT_BUFFER_SIZE);
    auto entries = walk(buffer.data(), count);
    ASSERT_EQ(entries.size(), 2u);
    EXPECT_EQ(entries[0].text, "vim\tREAD\t/data/a\tDENY ONCE");
    EXPECT_EQ(entries[1].text, "cp\tCREATE\t/data/b.exe\tALLOW ONCE");
    EXPECT_EQ(entries[0].header.TimeStamp, 133000000000000000u);
    EXPECT_NE(entries[0].header.Tag, entries[1].header.Tag);
    EXPECT_EQ(ring.read(buffer.data(), VESTRAL_EVENT_BUFFER_SIZE), 0u) << "entries are consumed";
}

TEST(EventRing, FieldsCannotBreakTheTextFormat) {
    EventRing ring(4);
    ring.setCapture(true);
    std::string longPath = "/" + std::string(600, 'p');
    // A 2-byte character straddling the cut is dropped whole.
    std::string utf8Path = "/" + std::string(510, 'q') + "\xC3\xA4";
    ring.add("evil\tname", "READ", "/a\nb\tc", "DENY");
    ring.add("p", "READ", longPath, "ALLOW");
    ring.add("p", "READ", utf8Path, "ALLOW");
    std::vector<uint8_t> buffer(8192);
    auto entries = walk(buffer.data(), ring.read(buffer.data(), 8192));
    ASSERT_EQ(entries.size(), 3u);
    EXPECT_EQ(entries[0].text, "evil?name\tREAD\t/a?b?c\tDENY");
    EXPECT_EQ(entries[1].text, "p\tREAD\t" + longPath.substr(0, 512) + "\tALLOW");
    EXPECT_EQ(entries[2].text, "p\tREAD\t" + utf8Path.substr(0, 511) + "\tALLOW");
}

TEST(EventRing, BoundedWithDropCountAndWholeEntriesOnly) {
    EventRing ring(3);
    ring.add("p", "READ", "/not-captured", "ALLOW");  // capture is off
    ring.setCapture(true);
    for (int i = 0; i < 5; ++i)
        ring.add("p", "READ", "/f" + std::to_string(i), "ALLOW");
    EXPECT_EQ(ring.droppedTotal(), 2u);

    std::vector<uint8_t> buffer(4096);
    // Room for the drop notice and one entry only: the rest waits for the next read.
    auto notice = EventRing::pack(0, 0, "vestrald\tOVERFLOW\t\tEVENT ENTRIES DROPPED: 2");
    uint32_t room = static_cast<uint32_t>(notice.size() + 36);
    auto first = walk(buffer.data(), ring.read(buffer.data(), room));
    ASSERT_EQ(first.size(), 2u);
    EXPECT_EQ(first[0].text, "vestrald\tOVERFLOW\t\tEVENT ENTRIES DROPPED: 2");
    EXPECT_EQ(first[1].text, "p\tREAD\t/f2\tALLOW");
    auto rest = walk(buffer.data(), ring.read(buffer.data(), 4096));
    ASSERT_EQ(rest.size(), 2u);
    EXPECT_EQ(rest[1].text, "p\tREAD\t/f4\tALLOW");
}

}  // namespace
}  // namespace vestrald
