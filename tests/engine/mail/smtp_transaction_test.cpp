// CSmtp's transaction against a scripted peer: MAIL FROM and its 530 loop, recipients, DATA,
// and values that could smuggle commands or headers.
#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <string>
#include <vector>

#include "fake_mail_environment.h"
#include "mime/mail_message.h"
#include "smtp_test_helpers.h"

namespace mail::test {
namespace {

using namespace std::chrono_literals;
using Lines = std::vector<std::string>;

constexpr char kGreeting[] = "220 mail.example ready\r\n";
constexpr char kOk[] = "250 ok\r\n";
constexpr char kBye[] = "221 bye\r\n";

Lines finish(CSmtp& smtp, ScriptedSmtpPeer& peer) {
    smtp.Close();
    EXPECT_TRUE(peer.waitForClosedConnections(1, 5s));
    return peer.received();
}

std::vector<PeerReply> login() {
    return {reply("334 VXNlcm5hbWU6\r\n"), reply("334 UGFzc3dvcmQ6\r\n"), reply("235 ok\r\n")};
}

std::vector<PeerReply> join(std::vector<std::vector<PeerReply>> pieces) {
    std::vector<PeerReply> all;
    for (auto& piece : pieces)
        all.insert(all.end(), piece.begin(), piece.end());
    return all;
}

CMailMessage sampleMessage(const mailtest::FakeMailEnvironment& environment) {
    CMailMessage message(environment);
    message.sender = CMailAddress("alice@example.com", "Alice");
    message.recipient = CMailAddress("ops@example.com", "Ops");
    message.subject = "Disk report";
    message.AddPart(CMailPart(".starts with a dot\r\nsecond line\r\n", "text/plain", "us-ascii",
                              MailEncoding::Auto));
    return message;
}

TEST(SmtpTransaction, RefusedLoginEndsMailFromWith530AfterOneMoreLogin) {
    const Lines loginLines{"AUTH LOGIN", base64("alice"), base64("bad")};
    ScriptedSmtpPeer peer({reply(kGreeting), reply(kOk), reply("334 VXNlcm5hbWU6\r\n"),
                           reply("334 UGFzc3dvcmQ6\r\n"), reply("535 no\r\n"),
                           reply("530 authenticate first\r\n"), reply("334 VXNlcm5hbWU6\r\n"),
                           reply("334 UGFzc3dvcmQ6\r\n"), reply("535 no\r\n"), reply(kBye)});
    RecordingSmtp smtp(optionsFor(peer));
    smtp.SetLogin("alice", "bad");
    ASSERT_TRUE(smtp.Connect("127.0.0.1"));
    EXPECT_EQ(smtp.SendMailFrom("alice@example.com"), 530);
    EXPECT_EQ(smtp.errors, (std::vector<int>{535, 535, 530}));
    Lines expected{"EHLO tester.example"};
    expected.insert(expected.end(), loginLines.begin(), loginLines.end());
    expected.push_back("MAIL FROM: <alice@example.com>");
    expected.insert(expected.end(), loginLines.begin(), loginLines.end());
    expected.push_back("QUIT");
    EXPECT_EQ(finish(smtp, peer), expected);
}

TEST(SmtpTransaction, MailFromLoopOn530IsBounded) {
    const char* const kRefusal = "530 authentication required\r\n";
    {
        SCOPED_TRACE("no login to offer: reported at once");
        ScriptedSmtpPeer peer({reply(kGreeting), reply(kOk), reply(kRefusal), reply(kBye)});
        RecordingSmtp smtp(optionsFor(peer));
        ASSERT_TRUE(smtp.Connect("127.0.0.1"));
        EXPECT_EQ(smtp.SendMailFrom("a@example.com"), 530);
        EXPECT_EQ(finish(smtp, peer),
                  (Lines{"EHLO tester.example", "MAIL FROM: <a@example.com>", "QUIT"}));
    }
    {
        SCOPED_TRACE("logins accepted, server still refuses");
        ScriptedSmtpPeer peer(join({{reply(kGreeting), reply(kOk)},
                                    login(),
                                    {reply(kRefusal)},
                                    login(),
                                    {reply(kRefusal)},
                                    login(),
                                    {reply(kRefusal)},
                                    login(),
                                    {reply(kRefusal)},
                                    {reply(kBye)}}));
        RecordingSmtp smtp(optionsFor(peer));
        smtp.SetLogin("alice", "pw");
        ASSERT_TRUE(smtp.Connect("127.0.0.1"));
        EXPECT_EQ(smtp.SendMailFrom("a@example.com"), 530);
        Lines received = finish(smtp, peer);
        EXPECT_EQ(std::count(received.begin(), received.end(), "MAIL FROM: <a@example.com>"), 3);
        EXPECT_EQ(received.back(), "QUIT");
    }
}

TEST(SmtpTransaction, RefusedFirstRecipientStillLeadsToData) {
    mailtest::FakeMailEnvironment environment;
    CMailMessage message = sampleMessage(environment);
    message.AddRecipient(CMailAddress("second@example.com", nullptr));
    CMailMessage copy = message;
    std::string rendered;
    ASSERT_TRUE(SerializeMessage(copy, rendered));

    ScriptedSmtpPeer peer({reply(kGreeting), reply(kOk), reply(kOk), reply("550 no such user\r\n"),
                           reply("251 will forward\r\n"), reply("354 go ahead\r\n"),
                           reply("250 queued\r\n"), reply(kBye)});
    RecordingSmtp smtp(optionsFor(peer));
    ASSERT_TRUE(smtp.Connect("127.0.0.1"));
    EXPECT_EQ(smtp.SendMail(message), 0);
    EXPECT_EQ(smtp.notices, std::vector<int>{550});
    EXPECT_EQ(finish(smtp, peer),
              (Lines{"EHLO tester.example", "MAIL FROM: <alice@example.com>",
                     "RCPT TO: <ops@example.com>", "RCPT TO: <second@example.com>", "DATA",
                     rendered, "QUIT"}));
    // The body went out dot-stuffed, as rendered.
    EXPECT_NE(rendered.find("\r\n\r\n..starts with a dot"), std::string::npos);
}

TEST(SmtpTransaction, NoAcceptedRecipientEndsBeforeData) {
    mailtest::FakeMailEnvironment environment;
    CMailMessage message = sampleMessage(environment);
    message.AddBlindRecipient(CMailAddress("hidden@example.com", nullptr));
    ScriptedSmtpPeer peer({reply(kGreeting), reply(kOk), reply(kOk), reply("550 no\r\n"),
                           reply("553 not here either\r\n"), reply(kBye)});
    RecordingSmtp smtp(optionsFor(peer));
    ASSERT_TRUE(smtp.Connect("127.0.0.1"));
    EXPECT_EQ(smtp.SendMail(message), 553);
    EXPECT_EQ(smtp.errors, std::vector<int>{553});
    EXPECT_EQ(finish(smtp, peer),
              (Lines{"EHLO tester.example", "MAIL FROM: <alice@example.com>",
                     "RCPT TO: <ops@example.com>", "RCPT TO: <hidden@example.com>", "QUIT"}));
}

TEST(SmtpTransaction, RefusedDataIsReported) {
    mailtest::FakeMailEnvironment environment;
    CMailMessage message = sampleMessage(environment);
    ScriptedSmtpPeer peer({reply(kGreeting), reply(kOk), reply(kOk), reply(kOk),
                           reply("354 go ahead\r\n"), reply("552 too big\r\n"), reply(kBye)});
    RecordingSmtp smtp(optionsFor(peer));
    ASSERT_TRUE(smtp.Connect("127.0.0.1"));
    EXPECT_EQ(smtp.SendMail(message), 552);
    EXPECT_EQ(smtp.errors, std::vector<int>{552});
    EXPECT_EQ(finish(smtp, peer).back(), "QUIT");
}

TEST(SmtpTransaction, MessagesThatCannotBeSentAreRefusedBeforeAnyCommand) {
    mailtest::FakeMailEnvironment environment;
    const std::string injected = "x@example.com>\r\nRCPT TO: <victim@example.com";
    struct Case {
        const char* name;
        std::function<void(CMailMessage&)> change;
    };
    const Case cases[] = {
        {"no sender", [](CMailMessage& m) { m.sender.address.clear(); }},
        {"blind recipients only",
         [](CMailMessage& m) {
             m.recipient = CMailAddress();
             m.AddBlindRecipient(CMailAddress("hidden@example.com", nullptr));
         }},
        {"CR LF in sender address", [&](CMailMessage& m) { m.sender.address = injected; }},
        {"CR LF in recipient address", [&](CMailMessage& m) { m.recipient.address = injected; }},
        {"LF in further recipient",
         [](CMailMessage& m) { m.AddRecipient(CMailAddress("a@example.com\nDATA", nullptr)); }},
        {"CR in blind recipient",
         [](CMailMessage& m) {
             m.AddBlindRecipient(CMailAddress("b@example.com\rQUIT", nullptr));
         }},
        {"CR LF in sender display name",
         [](CMailMessage& m) { m.sender.displayName = "Alice\r\nBcc: victim@example.com"; }},
        {"LF in recipient display name",
         [](CMailMessage& m) { m.recipient.displayName = "Ops\nX-Evil: 1"; }},
        {"CR LF in subject",
         [](CMailMessage& m) { m.subject = "Report\r\nBcc: victim@example.com"; }},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        CMailMessage message = sampleMessage(environment);
        c.change(message);
        ScriptedSmtpPeer peer({reply(kGreeting), reply(kOk), reply(kBye)});
        RecordingSmtp smtp(optionsFor(peer));
        ASSERT_TRUE(smtp.Connect("127.0.0.1"));
        EXPECT_EQ(smtp.SendMail(message), -1);
        EXPECT_EQ(finish(smtp, peer), (Lines{"EHLO tester.example", "QUIT"}));
    }
}

TEST(SmtpTransaction, LineBreaksInCommandValuesAndLoginAreRefused) {
    ScriptedSmtpPeer peer({reply(kGreeting), reply(kOk), reply(kBye)});
    RecordingSmtp smtp(optionsFor(peer));
    smtp.SetLogin("alice\r\nMAIL FROM: <x@example.com>", "pw");
    ASSERT_TRUE(smtp.Connect("127.0.0.1"));  // the login is refused without a word sent
    EXPECT_EQ(smtp.SendMailFrom("a@example.com>\r\nRSET\r\nMAIL FROM: <b@example.com"), -1);
    EXPECT_EQ(smtp.SendRcptTo("c@example.com\n"), -1);
    smtp.SetLogin("alice", "pw\r\nQUIT");
    EXPECT_EQ(smtp.Authenticate(), -1);
    EXPECT_EQ(finish(smtp, peer), (Lines{"EHLO tester.example", "QUIT"}));
}

TEST(SmtpTransaction, LongAddressIsCarriedWhole) {
    const std::string address = std::string(600, 'a') + "@example.com";
    ScriptedSmtpPeer peer({reply(kGreeting), reply(kOk), reply(kOk), reply(kOk), reply(kBye)});
    RecordingSmtp smtp(optionsFor(peer));
    ASSERT_TRUE(smtp.Connect("127.0.0.1"));
    EXPECT_EQ(smtp.SendMailFrom(address.c_str()), 0);
    EXPECT_EQ(smtp.SendRcptTo(address.c_str()), 0);
    EXPECT_EQ(finish(smtp, peer), (Lines{"EHLO tester.example", "MAIL FROM: <" + address + ">",
                                         "RCPT TO: <" + address + ">", "QUIT"}));
}

}  // namespace
}  // namespace mail::test
