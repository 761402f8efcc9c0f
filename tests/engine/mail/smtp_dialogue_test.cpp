// CSmtp against a scripted peer on 127.0.0.1: greeting, EHLO / HELO, AUTH LOGIN, reply framing,
// time-outs and the pieces a long command is sent in.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "smtp_test_helpers.h"

namespace mail::test {
namespace {

using namespace std::chrono_literals;
using Lines = std::vector<std::string>;

constexpr char kGreeting[] = "220 mail.example ready\r\n";
constexpr char kUserPrompt[] = "334 VXNlcm5hbWU6\r\n";  // "Username:"
constexpr char kPassPrompt[] = "334 UGFzc3dvcmQ6\r\n";  // "Password:"

// Closes the client and waits until the peer has seen the connection end.
Lines finish(CSmtp& smtp, ScriptedSmtpPeer& peer) {
    smtp.Close();
    EXPECT_TRUE(peer.waitForClosedConnections(1, 5s));
    return peer.received();
}

TEST(SmtpDialogue, GreetingInTwoPiecesIsReadAsOneReply) {
    ScriptedSmtpPeer peer({PeerReply{{"220 mail.exa", "mple ready\r\n"}, 80ms},
                           reply("250 mail.example\r\n"), reply("221 bye\r\n")});
    RecordingSmtp smtp(optionsFor(peer));
    ASSERT_TRUE(smtp.Connect("127.0.0.1"));
    ASSERT_FALSE(smtp.replies.empty());
    EXPECT_EQ(smtp.replies[0], std::make_pair(220, std::string("220 mail.example ready")));
    EXPECT_EQ(finish(smtp, peer), (Lines{"EHLO tester.example", "QUIT"}));
    EXPECT_TRUE(smtp.errors.empty());
}

TEST(SmtpDialogue, FailedGreetingClosesWithoutQuit) {
    struct Case {
        const char* name;
        PeerReply greeting;
        int code;
    };
    const Case cases[] = {
        {"never answers", silence(), -1},
        {"refuses service", reply("554 no service here\r\n"), 554},
        {"hangs up mid-line", PeerReply{{"220 mail.exam"}, 0ms, true}, -1},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        ScriptedSmtpPeer peer({c.greeting, reply("250 ok\r\n")});
        RecordingSmtp smtp(optionsFor(peer, 150ms));
        EXPECT_FALSE(smtp.Connect("127.0.0.1"));
        EXPECT_FALSE(smtp.IsConnected());
        EXPECT_EQ(smtp.errors, std::vector<int>{c.code});
        EXPECT_EQ(finish(smtp, peer), Lines{});
    }
}

TEST(SmtpDialogue, MultiLineReplyIsReadToItsLastLine) {
    // The last line of the EHLO reply comes late: it must not be taken as the AUTH reply.
    ScriptedSmtpPeer peer(
        {reply(kGreeting),
         PeerReply{{"250-mail.example\r\n250-AUTH LOGIN\r\n", "250 HELP\r\n"}, 100ms},
         reply(kUserPrompt), reply(kPassPrompt), reply("235 welcome\r\n"), reply("221 bye\r\n")});
    RecordingSmtp smtp(optionsFor(peer));
    smtp.SetLogin("alice", "s3cret");
    ASSERT_TRUE(smtp.Connect("127.0.0.1"));
    EXPECT_TRUE(smtp.IsExtended());
    ASSERT_GE(smtp.replies.size(), 2u);
    EXPECT_EQ(smtp.replies[1],
              std::make_pair(250, std::string("250-mail.example\r\n250-AUTH LOGIN\r\n250 HELP")));
    EXPECT_EQ(finish(smtp, peer), (Lines{"EHLO tester.example", "AUTH LOGIN", base64("alice"),
                                         base64("s3cret"), "QUIT"}));
    EXPECT_TRUE(smtp.errors.empty());
}

TEST(SmtpDialogue, RefusedEhloIsFollowedByHeloAndNoLogin) {
    ScriptedSmtpPeer peer({reply(kGreeting), reply("502 5.5.1 unknown command\r\n"),
                           reply("250 mail.example\r\n"), reply("250 sender ok\r\n"),
                           reply("221 bye\r\n")});
    RecordingSmtp smtp(optionsFor(peer));
    smtp.SetLogin("alice", "s3cret");
    ASSERT_TRUE(smtp.Connect("127.0.0.1"));
    EXPECT_FALSE(smtp.IsExtended());
    EXPECT_EQ(smtp.SendMailFrom("alice@example.com"), 0);
    EXPECT_EQ(finish(smtp, peer), (Lines{"EHLO tester.example", "HELO tester.example",
                                         "MAIL FROM: <alice@example.com>", "QUIT"}));
}

TEST(SmtpDialogue, BothGreetingsRefusedFailsWithoutQuit) {
    ScriptedSmtpPeer peer(
        {reply(kGreeting), reply("502 no\r\n"), reply("501 still no\r\n"), reply("221 bye\r\n")});
    RecordingSmtp smtp(optionsFor(peer));
    EXPECT_FALSE(smtp.Connect("127.0.0.1"));
    EXPECT_EQ(smtp.errors, std::vector<int>{501});
    EXPECT_EQ(finish(smtp, peer), (Lines{"EHLO tester.example", "HELO tester.example"}));
}

TEST(SmtpDialogue, LoginPromptsAreRecognisedWhateverTheirCase) {
    ScriptedSmtpPeer peer(
        {reply(kGreeting), reply("250 ok\r\n"), reply("334 " + base64("USERNAME:") + "\r\n"),
         reply("334 " + base64("password:") + "\r\n"), reply("235 ok\r\n"), reply("221 bye\r\n")});
    RecordingSmtp smtp(optionsFor(peer));
    smtp.SetLogin("bob", "pw");
    ASSERT_TRUE(smtp.Connect("127.0.0.1"));
    EXPECT_EQ(finish(smtp, peer),
              (Lines{"EHLO tester.example", "AUTH LOGIN", base64("bob"), base64("pw"), "QUIT"}));
    EXPECT_TRUE(smtp.errors.empty());
}

TEST(SmtpDialogue, UnknownPromptOrMissingAuthEndsTheLoginOnly) {
    struct Case {
        const char* name;
        std::vector<PeerReply> loginReplies;
        int code;
        Lines loginLines;
    };
    const Case cases[] = {
        {"unknown prompt", {reply("334 " + base64("Token:") + "\r\n")}, 334, {"AUTH LOGIN"}},
        {"AUTH not offered", {reply("502 no AUTH here\r\n")}, 502, {"AUTH LOGIN"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        std::vector<PeerReply> script{reply(kGreeting), reply("250 ok\r\n")};
        script.insert(script.end(), c.loginReplies.begin(), c.loginReplies.end());
        script.push_back(reply("221 bye\r\n"));
        ScriptedSmtpPeer peer(script);
        RecordingSmtp smtp(optionsFor(peer));
        smtp.SetLogin("bob", "pw");
        ASSERT_TRUE(smtp.Connect("127.0.0.1"));  // a failed login does not fail the connection
        Lines expected{"EHLO tester.example"};
        expected.insert(expected.end(), c.loginLines.begin(), c.loginLines.end());
        expected.push_back("QUIT");
        EXPECT_EQ(finish(smtp, peer), expected);
        // Unknown prompt: an error; AUTH refused: only a notice.
        EXPECT_EQ(c.code == 334 ? smtp.errors : smtp.notices, std::vector<int>{c.code});
    }
}

TEST(SmtpDialogue, ServerThatStopsAnsweringEndsTheExchangeWithoutQuit) {
    ScriptedSmtpPeer peer({reply(kGreeting), reply("250 ok\r\n"), silence()});
    RecordingSmtp smtp(optionsFor(peer, 150ms));
    ASSERT_TRUE(smtp.Connect("127.0.0.1"));
    EXPECT_EQ(smtp.SendMailFrom("a@example.com"), -1);
    EXPECT_EQ(smtp.errors, std::vector<int>{-1});
    EXPECT_FALSE(smtp.IsOpen());
    EXPECT_EQ(finish(smtp, peer), (Lines{"EHLO tester.example", "MAIL FROM: <a@example.com>"}));
}

TEST(SmtpDialogue, LongCommandGoesOutIn1024BytePieces) {
    ScriptedSmtpPeer peer({reply(kGreeting), reply("250 ok\r\n"), reply("250 ok\r\n"),
                           reply("250 ok\r\n"), reply("221 bye\r\n")});
    auto connector = std::make_shared<RecordingConnector>();
    SmtpOptions options = optionsFor(peer);
    options.connector = connector;
    RecordingSmtp smtp(options);
    ASSERT_TRUE(smtp.Connect("127.0.0.1"));
    connector->sends->clear();

    const std::string longCommand = "NOOP " + std::string(2993, 'x') + "\r\n";
    ASSERT_EQ(longCommand.size(), 3000u);
    EXPECT_EQ(smtp.SendCommand(longCommand.c_str()), 250);
    EXPECT_EQ(*connector->sends, (std::vector<size_t>{1024, 1024, 952}));
    EXPECT_EQ(smtp.progress,
              (std::vector<std::pair<size_t, size_t>>{{1024, 3000}, {2048, 3000}, {3000, 3000}}));

    // A command of 1024 bytes or less goes out whole, without progress calls.
    smtp.progress.clear();
    EXPECT_EQ(smtp.SendCommand("NOOP\r\n"), 250);
    EXPECT_TRUE(smtp.progress.empty());

    // Refusing progress abandons the rest of the command.
    connector->sends->clear();
    smtp.allowProgress = false;
    EXPECT_EQ(smtp.SendCommand(longCommand.c_str()), -1);
    EXPECT_EQ(*connector->sends, std::vector<size_t>{1024});
    smtp.allowProgress = true;

    Lines received = finish(smtp, peer);
    ASSERT_GE(received.size(), 2u);
    EXPECT_EQ(received[1], longCommand.substr(0, 2998));
}

TEST(SmtpDialogue, LongLoginIsCarriedWhole) {
    const std::string login(300, 'u');
    const std::string password = std::string(250, 'p') + "\xc3\xa9";  // UTF-8 at the very end
    ScriptedSmtpPeer peer({reply(kGreeting), reply("250 ok\r\n"), reply(kUserPrompt),
                           reply(kPassPrompt), reply("235 ok\r\n"), reply("221 bye\r\n")});
    RecordingSmtp smtp(optionsFor(peer));
    smtp.SetLogin(login, password);
    ASSERT_TRUE(smtp.Connect("127.0.0.1"));
    EXPECT_EQ(finish(smtp, peer), (Lines{"EHLO tester.example", "AUTH LOGIN", base64(login),
                                         base64(password), "QUIT"}));
}

TEST(SmtpDialogue, RefusedConnectionAndUnknownHostFail) {
    RecordingSmtp smtp(SmtpOptions{nullptr, freeLocalPort(), 1s, "tester.example"});
    EXPECT_FALSE(smtp.Connect("127.0.0.1"));
    EXPECT_FALSE(smtp.Connect("no-such-host.invalid"));
    EXPECT_FALSE(smtp.Connect(""));
    EXPECT_FALSE(smtp.Connect(nullptr));
    EXPECT_FALSE(smtp.IsConnected());
    EXPECT_EQ(smtp.SendCommand("NOOP\r\n"), -1);  // not connected
}

TEST(SmtpDialogue, DefaultsAreThirtySecondsAndTheSmtpServicePort) {
    CSmtp smtp;
    EXPECT_EQ(smtp.ReplyTimeout(), 30s);
    EXPECT_EQ(smtp.Port(), 25);  // /etc/services, else the fallback: 25 either way
    EXPECT_FALSE(smtp.IsOpen());
}

}  // namespace
}  // namespace mail::test
