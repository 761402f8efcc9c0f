#include "mime/content_encoders.h"

#include <gtest/gtest.h>

#include <string>

#include "fake_mail_environment.h"
#include "mime/base64_coder.h"

namespace {

using mail::MailEncoding;

std::string rep(size_t n, char c) {
    return std::string(n, c);
}

std::string qp(std::string_view in) {
    std::string out;
    mail::EncodeQuotedPrintable(out, in);
    return out;
}

std::string wrap(std::string_view in, size_t width = 76) {
    std::string out;
    mail::WrapLines(out, in, width);
    return out;
}

struct TextCase {
    std::string input, expected;
};

TEST(QuotedPrintable, EncodesEscapesBreaksAndTrailingBlanks) {
    const TextCase cases[] = {
        {"", ""},
        {"plain text", "plain text"},
        {"a=b", "a=3Db"},
        {"caf\xE9", "caf=E9"},
        {"\x01\x7F\t", "=01=7F=09"},  // the trailing TAB is escaped too
        {"end \r\nnext", "end=20\r\nnext"},
        {"a\r\n\r\nb\r\n", "a\r\n\r\nb\r\n"},
        {"lone\rcr", "lone\r\ncr"},
        {"lone\nlf", "lone\nlf"},  // a lone LF is text, not a line end
        {rep(76, 'a'), rep(76, 'a')},
        {rep(80, 'a'), rep(75, 'a') + "=\r\n" + rep(5, 'a')},
        // No escape is split: an '=' at position 74 or 73 moves the cut in front of it.
        {rep(74, 'a') + "\xE9" + rep(10, 'b'), rep(74, 'a') + "=\r\n=E9" + rep(10, 'b')},
        {rep(73, 'a') + "\xE9" + rep(10, 'b'), rep(73, 'a') + "=\r\n=E9" + rep(10, 'b')},
        // Escaping a trailing blank can push the line past 76: it is broken again.
        {rep(75, 'a') + " ", rep(75, 'a') + "=\r\n=20"},
        {rep(150, 'a'), rep(75, 'a') + "=\r\n" + rep(75, 'a')},
        {std::string("a\0b", 3), "a=00b"},
    };
    for (const TextCase& c : cases)
        EXPECT_EQ(qp(c.input), c.expected) << c.input;
}

TEST(WrapLines, BreaksAfterBreakCharactersOrAtTheWidth) {
    const TextCase cases[] = {
        {"", ""},
        {rep(76, 'x'), rep(76, 'x')},
        {rep(100, 'x'), rep(76, 'x') + "\r\n" + rep(24, 'x')},
        // A blank at position 70: the piece ends in the blank.
        {rep(70, 'x') + " " + rep(29, 'y'), rep(70, 'x') + " \r\n" + rep(29, 'y')},
        // A break character at position 75 ends the piece right there.
        {rep(75, 'x') + "-" + rep(10, 'y'), rep(75, 'x') + "-\r\n" + rep(10, 'y')},
        {rep(90, 'w') + ". z", rep(76, 'w') + "\r\n" + rep(14, 'w') + ". z"},
        {"short\r\n" + rep(80, 'x') + "\r\n",
         "short\r\n" + rep(76, 'x') + "\r\n" + rep(4, 'x') + "\r\n"},
        {"a\nb", "a\nb"},
        {"a\rb", "a\r\nb"},
        // Never inside a UTF-8 sequence: the cut moves back to the sequence's first byte.
        {rep(75, 'a') + "\xC3\xA9" + rep(10, 'b'), rep(75, 'a') + "\r\n\xC3\xA9" + rep(10, 'b')},
        {rep(74, 'a') + "\xE2\x82\xAC" + rep(10, 'b'),
         rep(74, 'a') + "\r\n\xE2\x82\xAC" + rep(10, 'b')},
    };
    for (const TextCase& c : cases)
        EXPECT_EQ(wrap(c.input), c.expected) << c.input;
    EXPECT_EQ(wrap("aaa bbb ccc", 4), "aaa \r\nbbb \r\nccc");
}

TEST(DetectEncoding, ChoosesFromByteStatisticsAndLineLengths) {
    struct Case {
        std::string data;
        MailEncoding expected;
    };
    std::string eleven = rep(89, 'a') + rep(11, '\x01');
    std::string ten = rep(90, 'a') + rep(10, '\x01');
    const Case cases[] = {
        {"Hello\r\nWorld\r\n", MailEncoding::SevenBit},
        {"Caf\xE9 au lait\r\n", MailEncoding::EightBit},
        // The first line needs 78 characters before its CR, later lines 77.
        {rep(77, 'a') + "\r\n", MailEncoding::SevenBit},
        {rep(78, 'a') + "\r\n", MailEncoding::QuotedPrintable},
        {"short\r\n" + rep(77, 'a') + "\r\n", MailEncoding::QuotedPrintable},
        {"short\r\n" + rep(76, 'a') + "\r\n", MailEncoding::SevenBit},
        {"short\r\n" + rep(300, 'a'), MailEncoding::SevenBit},  // the last line is not measured
        {eleven, MailEncoding::Base64},
        {ten, MailEncoding::EightBit},
        // A zero byte in text: quoted-printable carries it where 8bit would end there.
        {rep(49, 'a') + std::string(1, '\0'), MailEncoding::QuotedPrintable},
        {"", MailEncoding::SevenBit},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(mail::DetectEncoding(c.data.data(), c.data.size()), c.expected) << c.data;
    }
}

TEST(StripTo7BitAndStuffDots, ReplaceHighBytesAndDoubleLeadingDots) {
    std::string stripped;
    mail::StripTo7Bit(stripped, "a\x7F\x80\xFF~z");
    EXPECT_EQ(stripped, "a???~z");

    const TextCase cases[] = {
        {"", ""},
        {"a.b", "a.b"},
        {".first", "..first"},
        {"a\r\n.b\r\n..c", "a\r\n..b\r\n...c"},
        {"a\n.b", "a\n..b"},  // lenient servers end lines at a lone LF too
        {"a\r\n.", "a\r\n.."},
    };
    for (const TextCase& c : cases) {
        std::string text = c.input;
        mail::StuffDots(text);
        EXPECT_EQ(text, c.expected) << c.input;
    }
}

TEST(EncodeContent, EncodesWrapsStuffsAndNamesTheEncoding) {
    struct Case {
        MailEncoding encoding;
        std::string input, expected, name;
    };
    const Case cases[] = {
        {MailEncoding::Auto, "Hello\r\n.dot\r\n", "Hello\r\n..dot\r\n", "7bit"},
        {MailEncoding::Auto, "Caf\xE9 au lait\r\n", "Caf\xE9 au lait\r\n", "8bit"},
        {MailEncoding::Auto, rep(80, 'a') + "\r\nx", rep(75, 'a') + "=\r\n" + rep(5, 'a') + "\r\nx",
         "quoted-printable"},
        {MailEncoding::Auto, "\x01\x02\x03", "AQID", "base64"},
        {MailEncoding::Auto, "", "", "7bit"},
        {MailEncoding::SevenBit, "Caf\xE9 " + rep(80, 'b'), "Caf? \r\n" + rep(76, 'b') + "\r\nbbbb",
         "7bit"},
        {MailEncoding::EightBit, ".x", "..x", "8bit"},
        {MailEncoding::QuotedPrintable, "a=b\r\n.c", "a=3Db\r\n..c", "quoted-printable"},
        {MailEncoding::Base64, "foobar", "Zm9vYmFy", "base64"},
        {MailEncoding::Base64, rep(75, '\0'), rep(76, 'A') + "\r\n" + rep(24, 'A'), "base64"},
        {static_cast<MailEncoding>(9), "plain", "plain", "7bit"},  // unknown value: automatic
    };
    for (const Case& c : cases) {
        std::string text = c.input, name;
        mail::EncodeContent(c.encoding, text, name);
        EXPECT_EQ(text, c.expected) << c.input;
        EXPECT_EQ(name, c.name) << c.input;
    }
}

TEST(EncodeContent, DataGivenApartFromTheTextKeepsEveryByteWhereTheEncodingCan) {
    const std::string data("line one\r\nzero\0after\r\n", 22);
    std::string text = "ignored", name;
    mail::EncodeContent(MailEncoding::Auto, text, name, data.data(), data.size());
    EXPECT_EQ(name, "quoted-printable");
    EXPECT_EQ(text, "line one\r\nzero=00after\r\n");

    // 8bit asked for explicitly takes the data as text and ends at the zero byte.
    mail::EncodeContent(MailEncoding::EightBit, text, name, data.data(), data.size());
    EXPECT_EQ(text, "line one\r\nzero");

    // Base64 carries every byte; its lines are exactly what WrapLines makes of the coder's text.
    std::string blob(1000, '\0');
    for (size_t i = 0; i < blob.size(); ++i)
        blob[i] = static_cast<char>(i * 7);
    mail::EncodeContent(MailEncoding::Base64, text, name, blob.data(), blob.size());
    mail::CBase64Coder coder;
    coder.Encode(blob.data(), blob.size());
    EXPECT_EQ(text, wrap(coder.EncodedData()));
}

TEST(EncodeContent, ReportsTheTimeTakenToDebuggerOutput) {
    mailtest::FakeMailEnvironment environment;
    environment.tickStep = 7;
    std::string text = "x", name;
    mail::EncodeContent(MailEncoding::Auto, text, name, nullptr, 0, environment);
    ASSERT_EQ(environment.debugLines.size(), 1u);
    EXPECT_EQ(environment.debugLines[0], "Encoding took 7ms\n");
}

}  // namespace
