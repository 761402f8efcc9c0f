// Randomized round trips of the encoders (run under AddressSanitizer in the test build): every
// byte comes back, no line grows past its limit, and garbage given to the decoder is harmless.
#include <gtest/gtest.h>

#include <random>
#include <string>

#include "mime/base64_coder.h"
#include "mime/content_encoders.h"

namespace {

using mail::MailEncoding;

std::string randomBytes(std::mt19937& random, size_t length) {
    std::string bytes(length, '\0');
    for (char& c : bytes)
        c = static_cast<char>(random() & 0xFF);
    return bytes;
}

std::string removeLineBreaks(const std::string& text) {
    std::string out;
    for (size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '\r' && i + 1 < text.size() && text[i + 1] == '\n') {
            ++i;
            continue;
        }
        out += text[i];
    }
    return out;
}

int hexValue(char c) {
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    return -1;
}

// Decodes quoted-printable as RFC 2045 says (soft breaks dropped, escapes resolved); fails the
// test on anything malformed.
std::string decodeQuotedPrintable(const std::string& text) {
    std::string out;
    for (size_t i = 0; i < text.size(); ++i) {
        if (text[i] != '=') {
            out += text[i];
            continue;
        }
        if (text.compare(i, 3, "=\r\n") == 0) {
            i += 2;
            continue;
        }
        EXPECT_LT(i + 2, text.size() + 0u) << "escape cut short";
        if (i + 2 >= text.size())
            break;
        int high = hexValue(text[i + 1]), low = hexValue(text[i + 2]);
        EXPECT_TRUE(high >= 0 && low >= 0) << "bad escape at " << i;
        out += static_cast<char>(high * 16 + low);
        i += 2;
    }
    return out;
}

// Longest line of `text` between CR LF pairs (lone LF does not end a line).
size_t longestLine(const std::string& text) {
    size_t longest = 0, start = 0;
    for (;;) {
        size_t end = text.find("\r\n", start);
        size_t length = (end == std::string::npos ? text.size() : end) - start;
        longest = std::max(longest, length);
        if (end == std::string::npos)
            return longest;
        start = end + 2;
    }
}

std::string unstuff(const std::string& text) {
    std::string out;
    bool lineStart = true;
    for (size_t i = 0; i < text.size(); ++i) {
        if (lineStart && text[i] == '.' && i + 1 < text.size() && text[i + 1] == '.')
            continue;
        out += text[i];
        lineStart = text[i] == '\n';
    }
    return out;
}

TEST(EncodersRandom, Base64RoundTripKeepsEveryByte) {
    std::mt19937 random(1);
    mail::CBase64Coder coder;
    for (int round = 0; round < 300; ++round) {
        std::string plain = randomBytes(random, random() % 3000);
        coder.Encode(plain.data(), plain.size());
        std::string encoded(coder.EncodedData(), coder.EncodedLength());
        ASSERT_EQ(encoded.size(), (plain.size() + 2) / 3 * 4);
        mail::CBase64Coder decoder;
        decoder.Decode(encoded.c_str());
        ASSERT_EQ(decoder.DecodedLength(), encoded.size() / 4 * 3);
        std::string back(decoder.DecodedData(), decoder.DecodedLength());
        ASSERT_EQ(back.substr(0, plain.size()), plain);
        ASSERT_EQ(back.find_first_not_of('\0', plain.size()),
                  std::string::npos);  // pads give zeros

        // The wrapped, dot-stuffed body decodes to the same bytes.
        std::string body, name;
        mail::EncodeContent(MailEncoding::Base64, body, name, plain.data(), plain.size());
        ASSERT_LE(longestLine(body), 76u);
        decoder.Decode(body.c_str());
        ASSERT_EQ(std::string(decoder.DecodedData(), plain.size()), plain);
    }
}

TEST(EncodersRandom, DecodingGarbageStaysInsideTheBuffers) {
    std::mt19937 random(2);
    mail::CBase64Coder coder;
    for (int round = 0; round < 500; ++round) {
        std::string garbage = randomBytes(random, random() % 600);
        coder.Decode(garbage.data(), garbage.size());
        ASSERT_LE(coder.DecodedLength(), garbage.size());
        ASSERT_EQ(coder.DecodedData()[coder.DecodedLength()], '\0');
    }
}

TEST(EncodersRandom, QuotedPrintableRoundTripWithShortLines) {
    std::mt19937 random(3);
    for (int round = 0; round < 300; ++round) {
        // Any byte but a lone CR (which becomes CR LF); CR LF pairs, blanks and '=' are common.
        std::string plain;
        size_t length = random() % 800;
        while (plain.size() < length) {
            switch (random() % 8) {
                case 0:
                    plain += "\r\n";
                    break;
                case 1:
                    plain += ' ';
                    break;
                case 2:
                    plain += '=';
                    break;
                default: {
                    char c = static_cast<char>(random() & 0xFF);
                    plain += c == '\r' ? 'r' : c;
                }
            }
        }
        std::string body, name;
        mail::EncodeContent(MailEncoding::QuotedPrintable, body, name, plain.data(), plain.size());
        std::string encoded = unstuff(body);
        ASSERT_LE(longestLine(encoded), 76u) << encoded;
        for (char c : encoded) {
            auto b = static_cast<unsigned char>(c);
            ASSERT_TRUE(b == '\r' || b == '\n' || b == '\t' || (b >= 32 && b < 127)) << int(b);
        }
        ASSERT_EQ(decodeQuotedPrintable(encoded), plain);
    }
}

TEST(EncodersRandom, WrappingOnlyAddsLineBreaksAndNeverSplitsACharacter) {
    std::mt19937 random(4);
    const char32_t samples[] = {U'a', U'Z', U' ', U'.', U'-', U'\u00E9', U'\u20AC', U'\U0001F600'};
    for (int round = 0; round < 300; ++round) {
        std::string text;
        size_t count = random() % 400;
        for (size_t i = 0; i < count; ++i) {
            char32_t cp = samples[random() % 8];
            if (random() % 3 == 0)
                cp = U'x';  // long runs without break characters
            if (cp < 0x80) {
                text += static_cast<char>(cp);
            } else if (cp < 0x800) {
                text += static_cast<char>(0xC0 | (cp >> 6));
                text += static_cast<char>(0x80 | (cp & 0x3F));
            } else if (cp < 0x10000) {
                text += static_cast<char>(0xE0 | (cp >> 12));
                text += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
                text += static_cast<char>(0x80 | (cp & 0x3F));
            } else {
                text += static_cast<char>(0xF0 | (cp >> 18));
                text += static_cast<char>(0x80 | ((cp >> 12) & 0x3F));
                text += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
                text += static_cast<char>(0x80 | (cp & 0x3F));
            }
        }
        size_t width = 8 + random() % 80;
        std::string wrapped;
        mail::WrapLines(wrapped, text, width);
        ASSERT_EQ(removeLineBreaks(wrapped), text);
        ASSERT_LE(longestLine(wrapped), width);
        for (size_t i = 0; i + 2 < wrapped.size(); ++i) {
            if (wrapped[i] == '\r' && wrapped[i + 1] == '\n') {
                ASSERT_NE(static_cast<unsigned char>(wrapped[i + 2]) & 0xC0, 0x80)
                    << "split at " << i;
            }
        }
    }
}

TEST(EncodersRandom, AutomaticChoiceLosesNoByteItCanCarry) {
    std::mt19937 random(5);
    for (int round = 0; round < 300; ++round) {
        // Mostly text, sometimes zero bytes or high bytes, so every choice comes up.
        std::string data;
        size_t length = 1 + random() % 500;
        int noise = static_cast<int>(random() % 4);
        while (data.size() < length) {
            unsigned r = random() % 100;
            if (r < 4) {
                data += "\r\n";
            } else if (static_cast<int>(r % 40) < noise * 3) {
                data += static_cast<char>(random() & 0xFF);
            } else {
                data += static_cast<char>('a' + random() % 26);
            }
        }
        std::string body, name;
        mail::EncodeContent(MailEncoding::Auto, body, name, data.data(), data.size());
        std::string encoded = unstuff(body);
        ASSERT_LE(longestLine(encoded), 76u);
        if (name == "base64") {
            mail::CBase64Coder decoder;
            decoder.Decode(encoded.c_str());
            ASSERT_EQ(std::string(decoder.DecodedData(), data.size()), data);
        } else if (name == "quoted-printable") {
            std::string expected = data;
            for (size_t i = 0; i < expected.size(); ++i) {  // lone CRs become CR LF
                if (expected[i] == '\r' && (i + 1 == expected.size() || expected[i + 1] != '\n')) {
                    expected.insert(i + 1, "\n");
                }
            }
            ASSERT_EQ(decodeQuotedPrintable(encoded), expected);
        } else {
            ASSERT_EQ(data.find('\0'), std::string::npos) << name << " chosen for a zero byte";
        }
    }
}

}  // namespace
