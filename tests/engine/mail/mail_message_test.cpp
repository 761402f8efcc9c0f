#include "mime/mail_message.h"

#include <gtest/gtest.h>

#include <string>

#include "fake_mail_environment.h"
#include "mime/mail_date.h"

namespace {

using mail::CMailAddress;
using mail::CMailMessage;

std::string header(const CMailMessage& m, const std::string& name) {
    for (size_t i = 0; i < m.headers.Count(); ++i) {
        if (m.headers.Name(i) == name)
            return m.headers.Value(i);
    }
    return "(none)";
}

TEST(MailDate, EnglishNamesShortNumbersAndSignedZone) {
    struct Case {
        platform::SystemTime time;
        int32_t bias;
        const char* expected;
    };
    const Case cases[] = {
        {{2005, 4, 2, 5, 9, 5, 7, 0}, -480, "Tue, 5 Apr 2005 9:05:07 +0800"},
        {{2024, 12, 0, 29, 23, 59, 59, 0}, 300, "Sun, 29 Dec 2024 23:59:59 -0500"},
        {{2023, 1, 1, 2, 0, 0, 0, 0}, -330, "Mon, 2 Jan 2023 0:00:00 +0530"},
        {{2023, 6, 6, 10, 12, 30, 1, 0}, 0, "Sat, 10 Jun 2023 12:30:01 -0000"},
        {{2023, 6, 6, 10, 12, 30, 1, 0}, 210, "Sat, 10 Jun 2023 12:30:01 -0330"},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(mail::FormatMailDate(c.time, mail::ZoneOffsetFromBias(c.bias)), c.expected);
    }
    EXPECT_EQ(mail::ZoneOffsetFromBias(-480), 800);
    EXPECT_EQ(mail::ZoneOffsetFromBias(-330), 530);
    EXPECT_EQ(mail::ZoneOffsetFromBias(300), -500);
}

TEST(MailHeaderList, RemoveMatchesTheFirstPairByExactName) {
    mail::CMailHeaderList list;
    EXPECT_FALSE(list.RemoveHeader("Subject"));
    list.AddHeader("subject", "lower");
    list.AddHeader("Subject", "first");
    list.AddHeader("X-Other", "x");
    list.AddHeader("Subject", "second");
    EXPECT_TRUE(list.RemoveHeader("Subject"));
    ASSERT_EQ(list.Count(), 3u);
    EXPECT_EQ(list.Name(0), "subject");
    EXPECT_EQ(list.Value(1), "x");
    EXPECT_EQ(list.Value(2), "second");
}

TEST(CommitHeaders, FillsStandardPairsAndKeepsPresetOnes) {
    mailtest::FakeMailEnvironment environment;
    CMailMessage m(environment);
    m.sender = CMailAddress("me@example.com", "Me");
    m.recipient = CMailAddress("you@example.com", nullptr);
    m.subject = "Hello";
    m.headers.AddHeader("X-Priority", "1 (Highest)");
    m.headers.AddHeader("subject", "stays");

    mail::CommitHeaders(m);
    EXPECT_EQ(header(m, "X-Priority"), "1 (Highest)");
    EXPECT_EQ(header(m, "X-MSMail-Priority"), "Normal");
    EXPECT_EQ(header(m, "X-Mailer"), mail::kMailerName);
    EXPECT_EQ(header(m, "Importance"), "Normal");
    EXPECT_EQ(header(m, "Date"), "Tue, 5 Apr 2005 9:05:07 +0800");
    EXPECT_EQ(header(m, "Subject"), "Hello");
    EXPECT_EQ(header(m, "subject"), "stays");  // names compare with case
    EXPECT_EQ(header(m, "To"), "<you@example.com>");
    EXPECT_EQ(header(m, "From"), "\"Me\" <me@example.com>");
    EXPECT_EQ(m.headers.Name(m.headers.Count() - 1), "From");
}

TEST(CommitHeaders, ToListsRecipientAndFurtherRecipientsButNoBlindOnes) {
    struct Case {
        CMailAddress recipient;
        std::vector<CMailAddress> further;
        std::string expected;
    };
    const Case cases[] = {
        {{"a@x", "A"}, {}, "\"A\" <a@x>"},
        {{"a@x", nullptr}, {{"b@x", "B"}, {"c@x", nullptr}}, "<a@x>,\r\n\t\"B\" <b@x>,\r\n\t<c@x>"},
        {{nullptr, nullptr}, {{"b@x", nullptr}}, "<b@x>"},  // no comma in front of the first
        {{nullptr, nullptr}, {}, ""},
        {{"a@x", nullptr}, {{nullptr, nullptr}}, "<a@x>,\r\n\t<>"},
        {{"a@x", "Say \"hi\" \\o/"}, {}, "\"Say \\\"hi\\\" \\\\o/\" <a@x>"},
    };
    mailtest::FakeMailEnvironment environment;
    for (const Case& c : cases) {
        CMailMessage m(environment);
        m.recipient = c.recipient;
        for (const auto& f : c.further)
            m.AddRecipient(f);
        m.AddBlindRecipient(CMailAddress("hidden@x", "Hidden"));
        mail::CommitHeaders(m);
        EXPECT_EQ(header(m, "To"), c.expected);
        for (size_t i = 0; i < m.headers.Count(); ++i) {
            EXPECT_EQ(m.headers.Value(i).find("hidden"), std::string::npos);
        }
    }
}

TEST(MailMessage, ZoneOffsetAndTimeStampComeFromTheEnvironment) {
    mailtest::FakeMailEnvironment environment;
    environment.reading.biasMinutes = -330;
    CMailMessage m(environment);
    EXPECT_EQ(m.zoneOffset, 530);
    EXPECT_EQ(m.timeStamp.hour, 9);
    EXPECT_EQ(m.multipartKind, mail::MultipartKind::Auto);

    CMailMessage copy = m;  // copies are deep
    copy.AddPart(mail::CMailPart("x", "text/plain", "us-ascii", mail::MailEncoding::Auto));
    EXPECT_TRUE(m.parts.empty());
}

}  // namespace
