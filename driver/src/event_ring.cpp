#include "event_ring.h"

#include <chrono>
#include <cstring>
#include <string>

#include "vestral.h"

namespace vestrald {

namespace {

// Seconds between 1601-01-01 and 1970-01-01.
constexpr uint64_t kUnixEpochAsFileTime = 116444736000000000ull;

void appendField(std::string& text, std::string_view field, size_t width) {
    if (field.size() > width) {
        field = field.substr(0, width);
        // Do not leave half of a UTF-8 sequence at the end.
        size_t end = field.size();
        size_t start = end;
        while (start > 0 && (static_cast<unsigned char>(field[start - 1]) & 0xC0) == 0x80)
            --start;
        if (start > 0 && static_cast<unsigned char>(field[start - 1]) >= 0xC0) {
            unsigned char lead = static_cast<unsigned char>(field[start - 1]);
            size_t need = lead >= 0xF0 ? 4 : lead >= 0xE0 ? 3 : 2;
            if (end - (start - 1) < need)
                field = field.substr(0, start - 1);
        }
    }
    for (char c : field)
        text += (static_cast<unsigned char>(c) < 0x20 || c == 0x7F) ? '?' : c;
}

}  // namespace

uint64_t fileTimeNow() {
    auto since = std::chrono::system_clock::now().time_since_epoch();
    auto ticks = std::chrono::duration_cast<std::chrono::nanoseconds>(since).count() / 100;
    return kUnixEpochAsFileTime + static_cast<uint64_t>(ticks);
}

EventRing::EventRing(size_t maxEntries, Clock clock)
    : maxEntries_(maxEntries ? maxEntries : 1), clock_(std::move(clock)) {}

void EventRing::setCapture(bool on) {
    std::lock_guard lock(mutex_);
    capture_ = on;
}

bool EventRing::capturing() const {
    std::lock_guard lock(mutex_);
    return capture_;
}

uint64_t EventRing::droppedTotal() const {
    std::lock_guard lock(mutex_);
    return droppedTotal_;
}

std::vector<uint8_t> EventRing::pack(uint32_t tag, uint64_t fileTime, std::string_view text) {
    size_t size = sizeof(EventEntryHeader) + ((text.size() + 4) & ~size_t{3});
    std::vector<uint8_t> entry(size, 0);
    EventEntryHeader header{static_cast<uint32_t>(size), tag, fileTime};
    std::memcpy(entry.data(), &header, sizeof(header));
    std::memcpy(entry.data() + sizeof(header), text.data(), text.size());
    return entry;
}

void EventRing::pushLocked(std::vector<uint8_t> entry) {
    if (entries_.size() >= maxEntries_) {
        entries_.pop_front();
        ++droppedUnreported_;
        ++droppedTotal_;
    }
    entries_.push_back(std::move(entry));
}

void EventRing::add(std::string_view process, std::string_view operation, std::string_view path,
                    std::string_view result) {
    std::string text;
    text.reserve(process.size() + operation.size() + path.size() + result.size() + 3);
    appendField(text, process, kProcessTextMax);
    text += '\t';
    appendField(text, operation, kOperationTextMax);
    text += '\t';
    appendField(text, path, kPathTextMax);
    text += '\t';
    appendField(text, result, kResultTextMax);
    uint64_t now = clock_();
    std::lock_guard lock(mutex_);
    if (!capture_)
        return;
    pushLocked(pack(nextTag_++, now, text));
}

uint32_t EventRing::read(uint8_t* out, uint32_t outLen) {
    std::lock_guard lock(mutex_);
    uint32_t used = 0;
    if (droppedUnreported_) {
        std::string text =
            "vestrald\tOVERFLOW\t\tEVENT ENTRIES DROPPED: " + std::to_string(droppedUnreported_);
        std::vector<uint8_t> notice = pack(nextTag_, clock_(), text);
        if (notice.size() <= outLen) {
            std::memcpy(out, notice.data(), notice.size());
            used = static_cast<uint32_t>(notice.size());
            ++nextTag_;
            droppedUnreported_ = 0;
        }
    }
    while (!entries_.empty() && entries_.front().size() <= outLen - used) {
        std::memcpy(out + used, entries_.front().data(), entries_.front().size());
        used += static_cast<uint32_t>(entries_.front().size());
        entries_.pop_front();
    }
    return used;
}

}  // namespace vestrald
