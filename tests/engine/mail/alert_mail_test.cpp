// Alert mail: batching of warning lines with an injected clock, and the mail settings.
#include "alert/alert_mail.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <string>
#include <vector>

#include "alert_test_support.h"

namespace mail::test {
namespace {

using namespace std::chrono_literals;

std::string warningLine(const std::string& file) {
    return "10:15:02, Operation denied: Process EDIT.EXE tried to access file " + file + ".\r\n";
}

// A mailer on a clock the test moves, whose mails are collected instead of sent.
struct BatchingHarness {
    BatchingHarness()
        : mailer(AlertMailer::Options{[this] { return now; },
                                      1200s,
                                      [this](MailJob job) {
                                          jobs.push_back(std::move(job));
                                          return true;
                                      },
                                      {}}) {}
    void queueAt(int64_t seconds, const std::string& line) {
        now = start + seconds;
        mailer.QueueLine(line);
    }

    const int64_t start = 1'700'000'000;
    int64_t now = start;
    std::vector<MailJob> jobs;
    AlertMailer mailer;
};

TEST(AlertMail, FirstLineGoesAtOnceAndLaterOnesInBatches) {
    BatchingHarness h;
    TempDir folder;
    writeWholeFile(folder.path() / "Corvantis.ini",
                   mailProfile("mail.example", "alice@example.com", "pw", "ops@example.com"));
    ASSERT_TRUE(h.mailer.LoadSettings(folder.path() / "Corvantis.ini"));
    const std::string a = warningLine("/data/a.txt"), b = warningLine("/data/b.txt"),
                      c = warningLine("/data/c.txt"), d = warningLine("/data/d.txt");

    h.queueAt(0, a);
    ASSERT_EQ(h.jobs.size(), 1u);
    const MailJob& first = h.jobs[0];
    EXPECT_EQ(first.body, kFirstOpening + a);
    EXPECT_EQ(
        std::vector<std::string>({first.server, first.loginName, first.password, first.sender,
                                  first.recipient, first.subject, first.attachmentPath}),
        std::vector<std::string>({"mail.example", "alice@example.com", "pw", "alice@example.com",
                                  "ops@example.com", "Corvantis warning message", ""}));
    EXPECT_EQ(h.mailer.Collected(), "");

    h.queueAt(5 * 60, b);  // five minutes later: only collected
    EXPECT_EQ(h.jobs.size(), 1u);
    EXPECT_EQ(h.mailer.Collected(), b);

    h.queueAt(21 * 60, c);  // 21 minutes after the first: b and c leave together
    ASSERT_EQ(h.jobs.size(), 2u);
    EXPECT_EQ(h.jobs[1].body, kLaterOpening + b + c);
    EXPECT_EQ(h.mailer.Collected(), "");

    h.queueAt(21 * 60 + 1199, d);  // the new window began with c
    EXPECT_EQ(h.jobs.size(), 2u);
    h.queueAt(21 * 60 + 1200, a);
    ASSERT_EQ(h.jobs.size(), 3u);
    EXPECT_EQ(h.jobs[2].body, kLaterOpening + d + a);

    // Lines still collected when no later warning comes are never mailed.
    h.queueAt(21 * 60 + 1300, b);
    EXPECT_EQ(h.jobs.size(), 3u);
}

TEST(AlertMail, TenBytesOrFewerAreNotWorthAMailButRestartTheWindow) {
    BatchingHarness h;
    h.queueAt(0, "tiny\r\n");  // first call: too short, yet collecting has begun
    EXPECT_TRUE(h.jobs.empty());
    h.queueAt(1200, "0123456\r\n");  // window over, 9 bytes collected: nothing sent
    EXPECT_TRUE(h.jobs.empty());
    EXPECT_EQ(h.mailer.Collected(), "");
    h.queueAt(1201, warningLine("/x"));  // one second into the new window: only collected
    EXPECT_TRUE(h.jobs.empty());
    h.queueAt(2400, "0123456789\r\n");
    ASSERT_EQ(h.jobs.size(), 1u);
    EXPECT_EQ(h.jobs[0].body, kLaterOpening + warningLine("/x") + "0123456789\r\n");
}

TEST(AlertMail, CollectionStopsGrowingAt64000Bytes) {
    BatchingHarness h;
    h.queueAt(0, warningLine("/first"));
    const std::string line = std::string(998, 'x') + "\r\n";
    for (int i = 0; i < 70; ++i)
        h.queueAt(10 + i, line);
    EXPECT_EQ(h.mailer.Collected().size(), 64000u);
    h.queueAt(1200, warningLine("/dropped too"));  // the mail empties it; this line is lost
    ASSERT_EQ(h.jobs.size(), 2u);
    EXPECT_EQ(h.jobs[1].body.size(), std::string(kLaterOpening).size() + 64000);
    h.queueAt(1201, line);
    EXPECT_EQ(h.mailer.Collected(), line);
}

TEST(AlertMail, ClockSetBackKeepsCollectingUntilTheWindowEnds) {
    BatchingHarness h;
    h.queueAt(0, warningLine("/a"));
    h.queueAt(-5000, warningLine("/b"));  // elapsed is negative
    h.queueAt(1199, warningLine("/c"));
    EXPECT_EQ(h.jobs.size(), 1u);
    h.queueAt(1200, warningLine("/d"));
    ASSERT_EQ(h.jobs.size(), 2u);
    EXPECT_EQ(h.jobs[1].body,
              kLaterOpening + warningLine("/b") + warningLine("/c") + warningLine("/d"));
}

TEST(MailSettings, OnlyExactYesAndFourValuesSwitchMailOn) {
    struct Case {
        const char* name;
        std::string profile;
        bool on;
    };
    const std::string complete =
        "MailAddr=ops@example.com\r\nMailServer=mail.example\r\n"
        "MailUser=alice@example.com\r\nMailPass=pw\r\n";
    const Case cases[] = {
        {"YES", "[Advanced]\r\nMailLog=YES\r\n" + complete, true},
        {"YES with blanks and a tab around it", "[advanced]\nMailLog =  YES \t\n" + complete, true},
        {"lower-case yes", "[Advanced]\r\nMailLog=yes\r\n" + complete, false},
        {"no MailLog", "[Advanced]\r\n" + complete, false},
        {"empty MailPass", mailProfile("mail.example", "alice@example.com", "", "ops@example.com"),
         false},
        {"blank MailServer", mailProfile("   ", "alice@example.com", "pw", "ops@example.com"),
         false},
        {"no MailUser", "[Advanced]\r\nMailLog=YES\r\nMailAddr=a\r\nMailServer=b\r\nMailPass=c\r\n",
         false},
        {"no file", "", false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        TempDir folder;
        if (!c.profile.empty())
            writeWholeFile(folder.path() / "Corvantis.ini", c.profile);
        MailSettings settings;
        EXPECT_EQ(ReadMailSettings(folder.path() / "Corvantis.ini", settings), c.on);
    }
}

TEST(MailSettings, ValuesAreTrimmedAtTheEndAndOtherwiseCarriedWhole) {
    TempDir folder;
    const auto ini = folder.path() / "Corvantis.ini";
    const std::string longPass = std::string(299, 'p') + "\xc3\xa9";  // past 255 bytes, UTF-8 last
    writeWholeFile(
        ini, mailProfile("mail.example\t", "alice@example.com", longPass, "ops@example.com  "));
    MailSettings settings;
    ASSERT_TRUE(ReadMailSettings(ini, settings));
    EXPECT_EQ(settings.mailServer, "mail.example");
    EXPECT_EQ(settings.mailAddr, "ops@example.com");
    EXPECT_EQ(settings.mailPass, longPass);

    // Switched off: the other four keep what they held.
    writeWholeFile(ini, mailProfile("other.example", "bob@example.com", "x", "y", "NO"));
    EXPECT_FALSE(ReadMailSettings(ini, settings));
    EXPECT_EQ(settings.mailLog, "NO");
    EXPECT_EQ(settings.mailServer, "mail.example");
    EXPECT_EQ(settings.mailUser, "alice@example.com");
}

TEST(MailSettings, ProcessWideSettingsComeFromTheProgramDirectory) {
    TempDir folder;
    writeWholeFile(folder.path() / "Corvantis.ini",
                   mailProfile("mail.example", "alice@example.com", "pw", "ops@example.com"));
    const char* previous = std::getenv("CORVANTIS_PROGRAM_DIR");
    std::string saved = previous ? previous : "";
    ::setenv("CORVANTIS_PROGRAM_DIR", folder.path().c_str(), 1);
    bool on = LoadMailSettings();
    if (previous) {
        ::setenv("CORVANTIS_PROGRAM_DIR", saved.c_str(), 1);
    } else {
        ::unsetenv("CORVANTIS_PROGRAM_DIR");
    }
    EXPECT_TRUE(on);
    EXPECT_EQ(ProcessAlertMailer().Settings().mailServer, "mail.example");
    EXPECT_EQ(ProcessAlertMailer().Settings().mailAddr, "ops@example.com");
}

}  // namespace
}  // namespace mail::test
