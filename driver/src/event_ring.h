// The event entries waiting for the monitor device's reader. Owns a bounded queue of packed
// entries guarded by its own mutex: the filter adds, the device server's readers take. When no
// one reads, the oldest entries are dropped and counted; the next read reports the count.
#pragma once

#include <cstdint>
#include <deque>
#include <functional>
#include <mutex>
#include <string_view>
#include <vector>

namespace vestrald {

// FILETIME of a moment: 100-ns intervals since 1601-01-01 UTC.
uint64_t fileTimeNow();

// Widths of the text fields as the engine keeps them (bytes, without the NUL).
inline constexpr size_t kProcessTextMax = 256;
inline constexpr size_t kOperationTextMax = 256;
inline constexpr size_t kPathTextMax = 512;
inline constexpr size_t kResultTextMax = 256;

class EventRing {
  public:
    using Clock = std::function<uint64_t()>;  // FILETIME source
    explicit EventRing(size_t maxEntries, Clock clock = fileTimeNow);

    // Entries are recorded only while capture is on (start and stop of event capture).
    void setCapture(bool on);
    bool capturing() const;

    // Records `process<TAB>operation<TAB>path<TAB>result`. Control characters in a field become
    // '?', so a TAB or a line break inside a file name cannot shift the fields; each field is
    // cut to its width at a character boundary.
    void add(std::string_view process, std::string_view operation, std::string_view path,
             std::string_view result);

    // Moves whole entries into `out`, oldest first, as many as fit in `outLen` bytes; returns the
    // bytes written (0 when nothing waits). A count of dropped entries comes first as an entry
    // of its own.
    uint32_t read(uint8_t* out, uint32_t outLen);

    uint64_t droppedTotal() const;

    // Packs one entry: header word (entry size), tag, time stamp, text, NUL and filler.
    static std::vector<uint8_t> pack(uint32_t tag, uint64_t fileTime, std::string_view text);

  private:
    void pushLocked(std::vector<uint8_t> entry);

    const size_t maxEntries_;
    const Clock clock_;
    mutable std::mutex mutex_;
    std::deque<std::vector<uint8_t>> entries_;
    bool capture_ = false;
    uint32_t nextTag_ = 1;
    uint64_t droppedUnreported_ = 0;
    uint64_t droppedTotal_ = 0;
};

}  // namespace vestrald
