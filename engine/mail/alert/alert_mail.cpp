#include "alert/alert_mail.h"

#include <utility>

#include "config/config_file.h"

namespace mail {

AlertMailer::AlertMailer() : AlertMailer(Options{}) {}

AlertMailer::AlertMailer(Options options) : options_(std::move(options)) {
    if (!options_.clock) {
        options_.clock = [] {
            return static_cast<int64_t>(std::chrono::duration_cast<std::chrono::seconds>(
                                            std::chrono::system_clock::now().time_since_epoch())
                                            .count());
        };
    }
    if (!options_.startMail) {
        options_.startMail = [](MailJob job) {
            return StartMailThread(
                std::move(job.server), std::move(job.loginName), std::move(job.password),
                std::move(job.sender), std::move(job.recipient), std::move(job.subject),
                std::move(job.body), std::move(job.attachmentPath), std::move(job.options));
        };
    }
}

bool AlertMailer::LoadSettings(const std::string& path) {
    return ReadMailSettings(path, settings_);
}

void AlertMailer::QueueLine(std::string_view line) {
    const int64_t now = options_.clock();
    if (!started_) {
        started_ = true;
        collected_.assign(line);
        windowStart_ = now;
        if (collected_.size() > kMinMailBytes)
            sendCollected(kFirstOpening);
        collected_.clear();
        return;
    }
    // Signed: with the clock set back, lines are collected until it passes the window's end.
    const int64_t elapsed = now - windowStart_;
    if (collected_.size() < kMaxCollectedBytes)
        collected_.append(line);
    if (elapsed < options_.window.count())
        return;
    windowStart_ = now;
    if (collected_.size() > kMinMailBytes)
        sendCollected(kLaterOpening);
    collected_.clear();
}

void AlertMailer::sendCollected(const char* opening) {
    MailJob job{settings_.mailServer, settings_.mailUser, settings_.mailPass,
                settings_.mailUser,   settings_.mailAddr, kAlertSubject,
                opening + collected_, std::string(),      options_.delivery};
    options_.startMail(std::move(job));
}

AlertMailer& ProcessAlertMailer() {
    // Never destroyed: a warning that arrives while the process exits still finds it whole.
    static AlertMailer* const mailer = new AlertMailer;
    return *mailer;
}

bool LoadMailSettings() noexcept {
    try {
        return ProcessAlertMailer().LoadSettings(config::configFilePath());
    } catch (...) {
        return false;  // out of memory: no mail for this line
    }
}

void QueueWarningMail(const char* line) noexcept {
    try {
        if (line)
            ProcessAlertMailer().QueueLine(line);
    } catch (...) {
        // Out of memory: this line is not mailed; the event thread goes on.
    }
}

}  // namespace mail
