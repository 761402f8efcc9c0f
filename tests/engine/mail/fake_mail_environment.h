// A MailEnvironment for tests: a fixed local time and zone, a tick count that moves only when
// told, a small table of content types, and the debugger lines kept for inspection.
#pragma once

#include <cctype>
#include <map>
#include <string>
#include <vector>

#include "mime/mail_environment.h"

namespace mailtest {

class FakeMailEnvironment : public mail::MailEnvironment {
  public:
    FakeMailEnvironment() {
        // Tue, 5 Apr 2005 9:05:07 at UTC+08:00.
        reading.time = platform::SystemTime{2005, 4, 2, 5, 9, 5, 7, 0};
        reading.biasMinutes = -480;
        contentTypes[".txt"] = "text/plain";
        contentTypes[".png"] = "image/png";
    }

    platform::LocalTimeReading LocalTime() const override { return reading; }
    uint32_t TickCount() const override {
        uint32_t now = tick;
        tick += tickStep;
        return now;
    }
    std::optional<std::string> RegisteredContentType(std::string_view key) const override {
        std::string lower(key);
        for (char& c : lower)
            c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
        lookedUp.push_back(lower);
        auto it = contentTypes.find(lower);
        if (it == contentTypes.end())
            return std::nullopt;
        return it->second;
    }
    void DebugOutput(std::string_view text) const override { debugLines.emplace_back(text); }

    platform::LocalTimeReading reading;
    mutable uint32_t tick = 0x00C0FFEE;
    uint32_t tickStep = 0;
    std::map<std::string, std::string> contentTypes;  // lower-case keys such as ".txt"
    mutable std::vector<std::string> lookedUp;
    mutable std::vector<std::string> debugLines;
};

}  // namespace mailtest
