// Reply framing: where a reply ends, its code and text; and a randomized run of server bytes,
// cut into random pieces, through the client's reply reader (under AddressSanitizer).
#include <gtest/gtest.h>

#include <deque>
#include <random>
#include <string>

#include "smtp/smtp_client.h"
#include "smtp/smtp_protocol.h"

namespace mail {
namespace {

constexpr size_t npos = std::string_view::npos;

TEST(SmtpReply, EndIsTheFirstLineWithoutAHyphen) {
    struct Case {
        std::string_view received;
        size_t end;
    };
    const Case cases[] = {
        {"", npos},
        {"220 mail.exa", npos},  // no line feed yet
        {"220 ready\r\n", 11},
        {"220 ready\n", 10},                    // a bare LF ends a line too
        {"250-first\r\n250-second\r\n", npos},  // continuation lines only
        {"250-first\r\n250 last\r\n", 21},
        {"250-first\r\n250 last\r\nextra", 21},  // bytes after the reply are not part of it
        {"250\r\n", 5},                          // a code alone
        {"250-a\r\nxy\r\n", 11},                 // a short line ends the reply
        {"\r\n", 2},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.received));
        EXPECT_EQ(findReplyEnd(c.received), c.end);
    }
}

TEST(SmtpReply, CodeComesFromTheFirstThreeCharacters) {
    struct Case {
        std::string_view reply;
        int code;
    };
    const Case cases[] = {{"250 ok", 250}, {"2500 odd", 250}, {"35", 35},  {"abc", 0},
                          {"", 0},         {"5x1", 5},        {"-250", 0}, {"354-x\r\n354 y", 354}};
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.reply));
        EXPECT_EQ(replyCode(c.reply), c.code);
    }
    EXPECT_EQ(stripFinalLineEnd("250 ok\r\n"), "250 ok");
    EXPECT_EQ(stripFinalLineEnd("250 ok\n"), "250 ok");
    EXPECT_EQ(stripFinalLineEnd("250-a\r\n250 b\r\n"), "250-a\r\n250 b");
}

TEST(SmtpReply, ValuesThatFitOneLine) {
    EXPECT_TRUE(fitsOneLine("alice@example.com"));
    EXPECT_TRUE(fitsOneLine(""));
    EXPECT_FALSE(fitsOneLine("a\rb"));
    EXPECT_FALSE(fitsOneLine("a\nb"));
    EXPECT_FALSE(fitsOneLine(std::string_view("a\0b", 3)));
}

// Hands out prepared pieces; once they are gone the peer has closed the stream.
class PieceStream : public platform::TcpStream {
  public:
    explicit PieceStream(std::deque<std::string> pieces) : pieces_(std::move(pieces)) {}
    Wait waitReadable(std::chrono::milliseconds) override { return Wait::kReady; }
    long receive(char* buffer, size_t size) override {
        if (pieces_.empty())
            return 0;
        std::string& piece = pieces_.front();
        size_t n = std::min(size, piece.size());
        piece.copy(buffer, n);
        piece.erase(0, n);
        if (piece.empty())
            pieces_.pop_front();
        return static_cast<long>(n);
    }
    bool sendAll(const char*, size_t, std::chrono::milliseconds) override { return true; }
    void shutdownBoth() override {}

  private:
    std::deque<std::string> pieces_;
};

class PieceConnector : public platform::TcpConnector {
  public:
    std::unique_ptr<platform::TcpStream> connect(const std::string&, uint16_t) override {
        return std::make_unique<PieceStream>(std::move(pieces));
    }
    std::deque<std::string> pieces;
};

class GreetingRecorder : public CSmtp {
  public:
    using CSmtp::CSmtp;
    void OnReply(const char* command, int code, const char* text) override {
        if (command == nullptr)
            greeting.emplace_back(code, text);
    }
    std::vector<std::pair<int, std::string>> greeting;
};

TEST(SmtpReply, RandomServerBytesAreReadSafely) {
    std::mt19937 random(20260411);
    const std::string alphabet = "0123456789-  \r\n\r\nabc\t\x80\xff";
    for (int round = 0; round < 3000; ++round) {
        std::string input;
        size_t length = random() % (round % 10 == 0 ? 70000 : 300);
        for (size_t i = 0; i < length; ++i) {
            input += random() % 8 == 0 ? static_cast<char>(random() % 256)
                                       : alphabet[random() % alphabet.size()];
        }
        if (round % 3 == 0)
            input = "220" + std::string(random() % 2 ? "-" : " ") + input;
        auto connector = std::make_shared<PieceConnector>();
        for (size_t at = 0; at < input.size();) {
            size_t piece = 1 + random() % 2000;
            connector->pieces.push_back(input.substr(at, piece));
            at += piece;
        }
        GreetingRecorder smtp(SmtpOptions{connector, 25, std::chrono::seconds(5), "tester"});
        smtp.Connect("192.0.2.1");
        // The greeting, when one was read, is exactly the input's first reply.
        size_t end = findReplyEnd(input);
        if (end == npos || end > kMaxReplyBytes + 1024) {
            EXPECT_TRUE(smtp.greeting.empty());
        } else {
            if (end <= kMaxReplyBytes) {
                ASSERT_EQ(smtp.greeting.size(), 1u);
            }
            if (smtp.greeting.empty())
                continue;
            std::string_view expected = stripFinalLineEnd(std::string_view(input).substr(0, end));
            EXPECT_EQ(smtp.greeting[0].first, replyCode(expected));
            // The hook sees the text up to its first NUL byte.
            ASSERT_EQ(smtp.greeting[0].second, expected.substr(0, expected.find('\0')));
        }
    }
}

}  // namespace
}  // namespace mail
