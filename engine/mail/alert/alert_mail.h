// Alert mail: warning lines of the log are collected in memory and mailed in batches to one
// address. The first line after the library is loaded goes out at once; later lines go out
// together when a line arrives 1200 seconds or more after the current collection window began.
// An AlertMailer and its settings are used only by the thread that writes the warning log (no
// lock); each mail leaves on a thread of its own, so that thread never waits for the network.
#pragma once

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <string_view>

#include "alert/mail_settings.h"
#include "alert/mail_thread.h"

namespace mail {

inline constexpr char kAlertSubject[] = "Corvantis warning message";
// The first mail after the library is loaded, and every later one (only "P"/"p" differs).
inline constexpr char kFirstOpening[] =
    "Corvantis warning messages below,Please check carefully.\r\n\r\n";
inline constexpr char kLaterOpening[] =
    "Corvantis warning messages below,please check carefully.\r\n\r\n";
// Lines are appended only while fewer bytes than this are collected.
inline constexpr size_t kMaxCollectedBytes = 64000;
// A collection of this many bytes or fewer is not worth a mail.
inline constexpr size_t kMinMailBytes = 10;

class AlertMailer {
  public:
    struct Options {
        // Wall-clock time in whole seconds. Null: the system clock.
        std::function<int64_t()> clock;
        std::chrono::seconds window{1200};
        // Hands one mail over for sending; the result is ignored. Null: StartMailThread with
        // `delivery`.
        std::function<bool(MailJob)> startMail;
        MailThreadOptions delivery;
    };

    AlertMailer();
    explicit AlertMailer(Options options);

    // Reads the mail settings from the profile file at `path` (ReadMailSettings). True when
    // alert mail is on and complete.
    bool LoadSettings(const std::string& path);
    // Takes one warning line, exactly as written to the log (it ends in CR LF), and mails the
    // collection when it is due. Call only after LoadSettings returned true.
    void QueueLine(std::string_view line);

    const MailSettings& Settings() const { return settings_; }
    const std::string& Collected() const { return collected_; }

  private:
    void sendCollected(const char* opening);

    Options options_;
    MailSettings settings_;
    std::string collected_;
    int64_t windowStart_ = 0;
    bool started_ = false;
};

// The process-wide mailer of the engine library: created on first use, used only by the thread
// that writes the warning log, kept until the process ends.
AlertMailer& ProcessAlertMailer();

// Reads the five mail settings from Corvantis.ini in the program directory into the process-wide
// mailer. True when alert mail is on ("MailLog" exactly "YES") and complete. Never throws.
bool LoadMailSettings() noexcept;

// Hands a warning line (zero-terminated, as written to the log) to the process-wide mailer. Call
// only when LoadMailSettings has just returned true. Never throws; nothing waits for the network.
void QueueWarningMail(const char* line) noexcept;

}  // namespace mail
