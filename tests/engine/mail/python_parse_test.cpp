// Rendered messages parsed by Python's email package: headers, parts and decoded bodies.
#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <string>

#include "fake_mail_environment.h"
#include "mime/mail_message.h"
#include "mime_sample_message.h"

namespace {

class PythonParse : public ::testing::Test {
  protected:
    void SetUp() override {
        if (!std::filesystem::exists("/usr/bin/python3"))
            GTEST_SKIP() << "/usr/bin/python3 is missing";
        folder_ = std::filesystem::temp_directory_path() /
                  ("mail_mime_python_" + std::to_string(::getpid()) + "_" +
                   ::testing::UnitTest::GetInstance()->current_test_info()->name());
        std::filesystem::create_directories(folder_);
    }
    void TearDown() override {
        std::error_code ignored;
        std::filesystem::remove_all(folder_, ignored);
    }

    std::filesystem::path folder_;
};

TEST_F(PythonParse, SeveralPartsAndAttachmentsDecodeToWhatWasGiven) {
    mailtest::SampleMessage sample = mailtest::BuildSampleMessage(folder_);
    std::string text;
    ASSERT_TRUE(mail::SerializeMessage(sample.message, text));
    EXPECT_EQ(mailtest::CheckMimeMessage(text, sample.expectationJson, true, folder_), "");
}

TEST_F(PythonParse, TheCheckerNoticesACorruptedBody) {
    mailtest::SampleMessage sample = mailtest::BuildSampleMessage(folder_);
    std::string text;
    ASSERT_TRUE(mail::SerializeMessage(sample.message, text));
    size_t base64 = text.find("Content-Transfer-Encoding: base64\r\n");
    ASSERT_NE(base64, std::string::npos);
    size_t body = text.find("\r\n\r\n", base64) + 4;
    text[body + 5] = text[body + 5] == 'A' ? 'B' : 'A';
    EXPECT_NE(mailtest::CheckMimeMessage(text, sample.expectationJson, true, folder_), "");
}

TEST_F(PythonParse, AlertMailBodyWithLongLinesRoundTrips) {
    mailtest::FakeMailEnvironment environment;
    mail::CMailMessage m(environment);
    m.sender = mail::CMailAddress("watch@example.com", "watch@example.com");
    m.recipient = mail::CMailAddress("admin@example.com", "admin@example.com");
    m.subject = "Corvantis warning message";
    std::string body = "Corvantis warning messages below,please check carefully.\r\n\r\n";
    for (int i = 0; i < 5; ++i) {
        body += "9:0" + std::to_string(i) +
                ":00, Operation allowed: Process EDIT.EXE tried to access file "
                "/srv/share/a=b/" +
                std::string(60, 'x') + " .\r\n.hidden/file \r\n";
    }
    m.AddPart(mail::CMailPart(body.c_str(), "text/plain", "iso-8859-1", mail::MailEncoding::Auto));
    std::string text;
    ASSERT_TRUE(mail::SerializeMessage(m, text));
    std::string hex;
    for (unsigned char c : body) {
        static const char* digits = "0123456789abcdef";
        hex += digits[c >> 4];
        hex += digits[c & 15];
    }
    std::string expectation =
        "{\"from\": [\"watch@example.com\", \"watch@example.com\"],"
        " \"to\": [[\"admin@example.com\", \"admin@example.com\"]],"
        " \"subject\": \"Corvantis warning message\", \"content_type\": \"text/plain\","
        " \"parts\": [{\"content_type\": \"text/plain\", \"charset\": \"iso-8859-1\","
        " \"encoding\": \"quoted-printable\", \"disposition\": null, \"body_hex\": \"" +
        hex + "\", \"text\": true}]}";
    EXPECT_EQ(mailtest::CheckMimeMessage(text, expectation, true, folder_), "");
}

}  // namespace
