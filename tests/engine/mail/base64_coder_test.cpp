#include "mime/base64_coder.h"

#include <gtest/gtest.h>

#include <string>

namespace {

using mail::CBase64Coder;

std::string decoded(const CBase64Coder& coder) {
    return std::string(coder.DecodedData(), coder.DecodedLength());
}

TEST(Base64Coder, EncodesTheRfcVectors) {
    struct Case {
        std::string plain, encoded;
    };
    const Case cases[] = {
        {"", ""},
        {"f", "Zg=="},
        {"fo", "Zm8="},
        {"foo", "Zm9v"},
        {"foob", "Zm9vYg=="},
        {"fooba", "Zm9vYmE="},
        {"foobar", "Zm9vYmFy"},
        {"Username:", "VXNlcm5hbWU6"},
        {std::string("\0\xFF\x10", 3), "AP8Q"},
    };
    CBase64Coder coder;  // one coder for all: every Encode resets its buffer
    for (const Case& c : cases) {
        coder.Encode(c.plain.data(), c.plain.size());
        EXPECT_EQ(std::string(coder.EncodedData()), c.encoded) << c.plain;
        EXPECT_EQ(coder.EncodedLength(), c.encoded.size());
    }
    coder.Encode(static_cast<const char*>(nullptr));  // nothing happens
    EXPECT_STREQ(coder.EncodedData(), "AP8Q");
}

TEST(Base64Coder, DecodesGroupsPadsPartialsAndWhitespace) {
    struct Case {
        std::string encoded, plain;
    };
    const Case cases[] = {
        {"Zm9vYmFy", "foobar"},
        // A group ending in pads still yields three bytes, the extra ones zero.
        {"Zg==", std::string("f\0\0", 3)},
        {"Zm8=", std::string("fo\0", 3)},
        {" Zm9v\r\n\tYmFy \x0B\x07", "foobar"},
        // One to three characters left over give as many bytes.
        {"Zm9vYg", std::string("foob\0", 5)},
        {"Zm9vY", std::string("foo\x60", 4)},
        {"VVNFUk5BTUU6", "USERNAME:"},
        {"", ""},
    };
    CBase64Coder coder;
    for (const Case& c : cases) {
        coder.Decode(c.encoded.c_str());
        EXPECT_EQ(decoded(coder), c.plain) << c.encoded;
        EXPECT_EQ(coder.DecodedData()[coder.DecodedLength()], '\0');  // usable as a C string
    }
}

TEST(Base64Coder, CharactersOutsideTheAlphabetAreNotRejected) {
    CBase64Coder coder;
    coder.Decode("Zm9v!!!!*");
    EXPECT_EQ(coder.DecodedLength(), 7u);  // two whole groups and one character
    EXPECT_EQ(decoded(coder).substr(0, 3), "foo");
    // Bytes with the high bit set decode like their 7-bit counterparts.
    std::string high = "Zm9v";
    for (char& c : high)
        c = static_cast<char>(c | 0x80);
    coder.Decode(high.c_str());
    EXPECT_EQ(decoded(coder), "foo");
}

TEST(Base64Coder, BuffersGrowInStepsAndStayZeroTerminated) {
    CBase64Coder coder;
    EXPECT_STREQ(coder.EncodedData(), "");
    EXPECT_STREQ(coder.DecodedData(), "");
    std::string big(10000, 'A');
    coder.Encode(big.c_str());
    EXPECT_EQ(coder.EncodedLength(), 13336u);
    coder.Encode("hi");  // shorter text in the grown buffer: no rest of the old one shows
    EXPECT_STREQ(coder.EncodedData(), "aGk=");
    coder.Decode(coder.EncodedData());
    EXPECT_EQ(decoded(coder), std::string("hi\0", 3));

    // Data exactly as long as the buffer first allocated still gets its terminating zero.
    CBase64Coder exact;
    exact.Encode("hi");
    std::string full(4096, 'a');
    exact.Encode(full.data(), full.size());
    EXPECT_EQ(exact.DecodedData()[4096], '\0');
    exact.Decode(full.data(), full.size());
    EXPECT_EQ(exact.DecodedLength(), 3072u);
}

}  // namespace
