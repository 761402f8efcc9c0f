// The sending thread of alert mail: the whole dialogue of an alert mail against a scripted peer,
// the two connection attempts, and values that must not reach the server.
#include "alert/mail_thread.h"

#include <gtest/gtest.h>

#include <future>
#include <string>
#include <vector>

#include "alert/alert_mail.h"
#include "alert_test_support.h"
#include "smtp_test_helpers.h"

namespace mail::test {
namespace {

using namespace std::chrono_literals;
using Lines = std::vector<std::string>;

// Options whose `finished` fulfils the returned future.
MailThreadOptions waitableOptions(SmtpOptions smtp, std::shared_ptr<std::promise<void>> done) {
    return MailThreadOptions{std::move(smtp), [done] { done->set_value(); }};
}

MailJob job(std::string server, std::string login, std::string password, std::string sender,
            std::string recipient, std::string subject, MailThreadOptions options = {}) {
    return MailJob{std::move(server),    std::move(login),   std::move(password), std::move(sender),
                   std::move(recipient), std::move(subject), "body\r\n",          "",
                   std::move(options)};
}

// The names of the header lines, in order (continuation lines skipped).
Lines headerNames(const std::string& message) {
    Lines names;
    std::string block = message.substr(0, message.find("\r\n\r\n"));
    size_t at = 0;
    while (at <= block.size()) {
        size_t end = block.find("\r\n", at);
        std::string line =
            block.substr(at, end == std::string::npos ? std::string::npos : end - at);
        if (!line.empty() && line[0] != '\t')
            names.push_back(line.substr(0, line.find(':')));
        if (end == std::string::npos)
            break;
        at = end + 2;
    }
    return names;
}

TEST(MailThread, AlertMailGoesThroughTheWholeDialogue) {
    ScriptedSmtpPeer peer(
        {reply("220 mail.example ready\r\n"), reply("250-mail.example\r\n250 AUTH LOGIN\r\n"),
         reply("334 VXNlcm5hbWU6\r\n"), reply("334 UGFzc3dvcmQ6\r\n"), reply("235 ok\r\n"),
         reply("250 sender ok\r\n"), reply("250 recipient ok\r\n"), reply("354 go ahead\r\n"),
         reply("250 queued\r\n"), reply("221 bye\r\n")});
    auto done = std::make_shared<std::promise<void>>();
    auto finished = done->get_future();
    AlertMailer mailer(
        AlertMailer::Options{nullptr, 1200s, nullptr, waitableOptions(optionsFor(peer), done)});
    TempDir folder;
    writeWholeFile(folder.path() / "Corvantis.ini",
                   mailProfile("127.0.0.1", "alice@example.com", "pw", "ops@example.com"));
    ASSERT_TRUE(mailer.LoadSettings(folder.path() / "Corvantis.ini"));
    const std::string line =
        "10:15:02, Operation denied: Process EDIT.EXE tried to access file "
        "/srv/projects/quarterly/reports/2026/summary-final.txt.\r\n";
    mailer.QueueLine(line);
    ASSERT_EQ(finished.wait_for(10s), std::future_status::ready);
    ASSERT_TRUE(peer.waitForClosedConnections(1, 5s));

    Lines received = peer.received();
    ASSERT_EQ(received.size(), 9u);
    EXPECT_EQ(Lines(received.begin(), received.begin() + 7),
              (Lines{"EHLO tester.example", "AUTH LOGIN", base64("alice@example.com"), base64("pw"),
                     "MAIL FROM: <alice@example.com>", "RCPT TO: <ops@example.com>", "DATA"}));
    EXPECT_EQ(received[8], "QUIT");
    const std::string& message = received[7];
    EXPECT_EQ(headerNames(message),
              (Lines{"From", "To", "Subject", "Date", "Importance", "X-Mailer", "X-MSMail-Priority",
                     "X-Priority", "MIME-Version", "Content-Type", "Content-Transfer-Encoding"}));
    for (const char* expected :
         {"From: \"alice@example.com\" <alice@example.com>\r\n",
          "\r\nTo: \"ops@example.com\" <ops@example.com>\r\n",
          "\r\nSubject: Corvantis warning message\r\n", "\r\nImportance: Normal\r\n",
          "\r\nX-Priority: 3 (Normal)\r\n",
          "\r\nContent-Type: text/plain;\r\n\tcharset=\"iso-8859-1\"\r\n",
          "\r\nContent-Transfer-Encoding: quoted-printable\r\n\r\n"
          "Corvantis warning messages below,Please check carefully.\r\n\r\n10:15:02"}) {
        EXPECT_NE(message.find(expected), std::string::npos) << expected;
    }
}

TEST(MailThread, NoLoginNameMeansNoAuthentication) {
    ScriptedSmtpPeer peer({reply("220 ready\r\n"), reply("250 ok\r\n"), reply("250 ok\r\n"),
                           reply("250 ok\r\n"), reply("354 go\r\n"), reply("250 ok\r\n"),
                           reply("221 bye\r\n")});
    // A login name that does not sort after a single blank is no login name.
    MailThreadProc(new MailJob(job("127.0.0.1", " ", "pw", "alice@example.com", "ops@example.com",
                                   "s", {optionsFor(peer), nullptr})));
    ASSERT_TRUE(peer.waitForClosedConnections(1, 5s));
    Lines received = peer.received();
    ASSERT_EQ(received.size(), 6u);
    EXPECT_EQ(received[1], "MAIL FROM: <alice@example.com>");
}

TEST(MailThread, UnreachableServerGetsExactlyTwoAttempts) {
    auto network = std::make_shared<UnreachableConnector>();
    auto done = std::make_shared<std::promise<void>>();
    auto finished = done->get_future();
    SmtpOptions smtp;
    smtp.connector = network;
    ASSERT_TRUE(StartMailThread("mail.example", "alice", "pw", "alice@example.com",
                                "ops@example.com", "s", "body\r\n", "",
                                waitableOptions(smtp, done)));
    ASSERT_EQ(finished.wait_for(10s), std::future_status::ready);
    EXPECT_EQ(network->attempts.load(), 2);
}

TEST(MailThread, LineBreaksInAnyValueMeanNoConnectionAtAll) {
    const std::string bad = "x\r\nRCPT TO: <victim@example.com>";
    const std::vector<MailJob> jobs = {
        job(bad, "alice", "pw", "a@example.com", "o@example.com", "s"),
        job("mail.example", "alice\n", "pw", "a@example.com", "o@example.com", "s"),
        job("mail.example", "alice", "pw\r", "a@example.com", "o@example.com", "s"),
        job("mail.example", "alice", "pw", bad, "o@example.com", "s"),
        job("mail.example", "alice", "pw", "a@example.com", bad, "s"),
        job("mail.example", "alice", "pw", "a@example.com", "o@example.com", "s\r\nBcc: v@x"),
    };
    for (size_t i = 0; i < jobs.size(); ++i) {
        SCOPED_TRACE(i);
        auto network = std::make_shared<UnreachableConnector>();
        MailJob copy = jobs[i];
        copy.options.smtp.connector = network;
        EXPECT_EQ(MailThreadProc(new MailJob(copy)), 0);
        EXPECT_EQ(network->attempts.load(), 0);
    }
}

TEST(MailThread, CharsetFollowsTheText) {
    struct Case {
        const char* text;
        const char* charset;
    };
    const Case cases[] = {
        {"plain ASCII\r\n", "iso-8859-1"},
        {"/data/R\xc3\xa9sum\xc3\xa9.txt", "utf-8"},
        {"\xe2\x82\xac and \xf0\x9f\x93\x81", "utf-8"},
        {"caf\xe9", "iso-8859-1"},       // a Latin-1 byte is no UTF-8
        {"\xc0\xaf", "iso-8859-1"},      // overlong form
        {"\xed\xa0\x80", "iso-8859-1"},  // surrogate
        {"\xe2\x82", "iso-8859-1"},      // cut short
    };
    for (const Case& c : cases)
        EXPECT_STREQ(AlertCharset(c.text), c.charset) << c.text;
}

}  // namespace
}  // namespace mail::test
