#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <sstream>
#include <string>

#include "fake_mail_environment.h"
#include "mime/mail_message.h"

namespace {

using mail::CMailAddress;
using mail::CMailAttachment;
using mail::CMailMessage;
using mail::CMailPart;
using mail::MailEncoding;

const std::filesystem::path kFixtures = MAIL_FIXTURE_DIR;

std::string readFile(const std::filesystem::path& path) {
    std::ifstream file(path, std::ios::binary);
    std::ostringstream text;
    text << file.rdbuf();
    return text.str();
}

size_t count(const std::string& text, const std::string& what) {
    size_t n = 0;
    for (size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + 1))
        ++n;
    return n;
}

// Renders `m` and compares it with a fixture; MAIL_UPDATE_FIXTURES=1 rewrites the fixture.
void expectFixture(CMailMessage& m, const std::string& name) {
    std::string text;
    ASSERT_TRUE(mail::SerializeMessage(m, text));
    auto path = kFixtures / name;
    if (const char* update = std::getenv("MAIL_UPDATE_FIXTURES"); update && *update == '1') {
        std::ofstream(path, std::ios::binary) << text;
    }
    EXPECT_EQ(text, readFile(path)) << name;
}

class MessageRender : public ::testing::Test {
  protected:
    CMailMessage message() {
        CMailMessage m(environment_);
        m.sender = CMailAddress("watch@example.com", "watch@example.com");
        m.recipient = CMailAddress("admin@example.com", "admin@example.com");
        m.subject = "Corvantis warning message";
        return m;
    }
    static CMailPart text(const char* body, const char* type = "text/plain",
                          MailEncoding encoding = MailEncoding::Auto) {
        return CMailPart(body, type, "iso-8859-1", encoding);
    }
    std::string render(CMailMessage& m) {
        std::string text;
        EXPECT_TRUE(mail::SerializeMessage(m, text));
        return text;
    }

    mailtest::FakeMailEnvironment environment_;
    std::string attachmentFile_ = (kFixtures / "attachment.txt").string();
    std::string pixelFile_ = (kFixtures / "pixel.png").string();
};

TEST_F(MessageRender, AlertMailIsASinglePartMessage) {
    CMailMessage m = message();
    m.AddPart(
        text("Corvantis warning messages below,Please check carefully.\r\n\r\n"
             "9:05:07, Operation denied: Process EDIT.EXE tried to access file "
             "/srv/finance/quarterly-report.xls.\r\n"));
    expectFixture(m, "alert_single_part.eml");
}

TEST_F(MessageRender, ShapesFollowThePartsAndAttachments) {
    CMailMessage two = message();
    two.AddPart(text("Plain text version.\r\n", "text/plain", MailEncoding::SevenBit));
    two.AddPart(text("<p>HTML version, a=b</p>\r\n", "text/html", MailEncoding::QuotedPrintable));
    expectFixture(two, "two_parts_alternative.eml");

    CMailMessage mixed = message();
    mixed.AddPart(text("See the attached file.\r\n"));
    mixed.AddAttachment(CMailAttachment(attachmentFile_.c_str(), nullptr, 0, nullptr, "iso-8859-1",
                                        MailEncoding::Auto));
    expectFixture(mixed, "part_and_attachment_mixed.eml");

    CMailMessage nested = message();
    nested.AddPart(text("Plain text version.\r\n"));
    nested.AddPart(text("<p>HTML <img src=\"cid:logo@corvantis\"></p>\r\n", "text/html"));
    CMailAttachment logo(pixelFile_.c_str(), "logo.png", 1, nullptr, nullptr, MailEncoding::Auto);
    logo.contentId = "logo@corvantis";
    nested.AddAttachment(logo);
    expectFixture(nested, "nested_alternative_in_mixed.eml");
}

TEST_F(MessageRender, AttachmentAloneOrNothingAtAll) {
    CMailMessage alone = message();
    alone.AddAttachment(CMailAttachment(attachmentFile_.c_str(), nullptr, 0, nullptr, "utf-8",
                                        MailEncoding::SevenBit));
    std::string text = render(alone);
    // The attachment's headings follow the message headers directly.
    EXPECT_NE(text.find("MIME-Version: 1.0\r\nContent-Type: text/plain;\r\n\tcharset=\"utf-8\";"
                        "\r\n\tname=\"attachment.txt\"\r\nContent-Transfer-Encoding: 7bit\r\n"
                        "Content-Disposition: attachment;\r\n\tfilename=\"attachment.txt\"\r\n\r\n"
                        "first line\r\n"),
              std::string::npos)
        << text;
    EXPECT_EQ(count(text, "CSmtpMsgPart"), 0u);

    CMailMessage empty = message();
    text = render(empty);
    EXPECT_EQ(text.find("Content-Type"), std::string::npos);
    EXPECT_EQ(text.substr(0, 6), "From: ");
    EXPECT_EQ(text.substr(text.size() - 19), "MIME-Version: 1.0\r\n");
}

TEST_F(MessageRender, UnreadableAttachmentsAreLeftOut) {
    CMailMessage m = message();
    m.AddPart(text("Only this part.\r\n"));
    m.AddAttachment(
        CMailAttachment("/nonexistent/file.txt", nullptr, 0, nullptr, nullptr, MailEncoding::Auto));
    m.AddAttachment(CMailAttachment(kFixtures.c_str(), nullptr, 0, nullptr, nullptr,
                                    MailEncoding::Auto));  // a folder cannot be read as a file
    std::string text = render(m);
    EXPECT_NE(text.find("Content-Type: multipart/mixed;"), std::string::npos);
    EXPECT_EQ(count(text, "--CSmtpMsgPart123X456_000_00C0FFEE\r\n"), 1u);
    EXPECT_EQ(count(text, "--CSmtpMsgPart123X456_000_00C0FFEE--\r\n"), 1u);
    EXPECT_EQ(text.find("Content-Disposition"), std::string::npos);
}

TEST_F(MessageRender, ContentTypesCharsetsAndLookups) {
    struct Case {
        const char* shownName;
        const char* mimeType;
        const char* expectedType;
        const char* expectedKey;  // looked up, or "" for no lookup
    };
    environment_.contentTypes[".tar.gz"] = "application/x-compressed-tar";
    const Case cases[] = {
        {"report.tar.gz", nullptr, "application/x-compressed-tar", ".tar.gz"},
        {"Notes.TXT", nullptr, "text/plain", ".txt"},
        {"data.unknown", nullptr, "application/octet-stream", ".unknown"},
        {"README", nullptr, "application/octet-stream", ""},
        {"picture.txt", "Image/PNG", "Image/PNG", ".txt"},  // the given type wins
    };
    for (const Case& c : cases) {
        environment_.lookedUp.clear();
        CMailMessage m = message();
        m.AddAttachment(CMailAttachment(attachmentFile_.c_str(), c.shownName, 0, c.mimeType,
                                        "iso-8859-1", MailEncoding::Base64));
        std::string text = render(m);
        EXPECT_NE(text.find(std::string("Content-Type: ") + c.expectedType), std::string::npos)
            << c.shownName;
        bool charset = std::string(c.expectedType).rfind("text/", 0) == 0;
        EXPECT_EQ(text.find("charset=") != std::string::npos, charset) << c.shownName;
        if (*c.expectedKey) {
            ASSERT_EQ(environment_.lookedUp.size(), 1u) << c.shownName;
            EXPECT_EQ(environment_.lookedUp[0], c.expectedKey);
        } else {
            EXPECT_TRUE(environment_.lookedUp.empty()) << c.shownName;
        }
    }

    // Part types: "text/" in any case gets a charset, other types none.
    for (const char* type : {"Text/HTML", "image/png"}) {
        CMailMessage m = message();
        m.AddPart(text("x", type));
        std::string out = render(m);
        bool isText = std::string(type) == "Text/HTML";
        EXPECT_EQ(out.find("Content-Type: " + std::string(type) +
                           ";\r\n\tcharset=\"iso-8859-1\"\r\n") != std::string::npos,
                  isText)
            << out;
    }
}

TEST_F(MessageRender, PresetKindMessageIdAndContentIdsAreWritten) {
    CMailMessage m = message();
    m.multipartKind = mail::MultipartKind::Related;
    m.messageId = "1234@example.com";
    CMailPart part = text("<p>x</p>", "text/html");
    part.contentId = "part1@example.com";
    m.AddPart(part);
    m.AddPart(text("x"));
    std::string out = render(m);
    EXPECT_NE(out.find("Message-ID: <1234@example.com>\r\nMIME-Version: 1.0\r\nContent-Type: "
                       "multipart/related;\r\n\tboundary=\"CSmtpMsgPart123X456_000_00C0FFEE\"\r\n"),
              std::string::npos)
        << out;
    EXPECT_NE(
        out.find("Content-Transfer-Encoding: 7bit\r\nContent-ID: <part1@example.com>\r\n\r\n"),
        std::string::npos);
    EXPECT_EQ(m.multipartKind, mail::MultipartKind::Related);
}

TEST_F(MessageRender, LongHeaderLinesAreFoldedOrTheMessageIsRefused) {
    // Many recipients: one address per line, whatever the total length.
    CMailMessage many = message();
    for (int i = 0; i < 200; ++i)
        many.AddRecipient(
            CMailAddress(("user" + std::to_string(i) + "@example.com").c_str(), nullptr));
    std::string out = render(many);
    EXPECT_EQ(count(out, ",\r\n\t<user"), 200u);

    // A subject of 3000 bytes with blanks: folded at blanks, each line at most 998 bytes.
    std::string words;
    while (words.size() < 3000)
        words += "w\xC3\xB6rd ";
    CMailMessage longSubject = message();
    longSubject.subject = words;
    out = render(longSubject);
    size_t start = out.find("Subject: ");
    size_t end = out.find("\r\nDate: ");
    ASSERT_NE(start, std::string::npos);
    std::string folded = out.substr(start, end - start);
    for (size_t from = 0, at; from <= folded.size(); from = at + 2) {
        at = folded.find("\r\n", from);
        if (at == std::string::npos)
            at = folded.size();
        EXPECT_LE(at - from, 998u);
    }
    std::string unfolded;
    for (size_t i = 0; i < folded.size(); ++i) {
        if (folded.compare(i, 2, "\r\n") == 0)
            ++i;
        else
            unfolded += folded[i];
    }
    EXPECT_EQ(unfolded, "Subject: " + words);

    // 1200 bytes without a blank cannot be folded: nothing is rendered.
    CMailMessage unbroken = message();
    unbroken.subject = std::string(1200, 's');
    std::string text = "old";
    EXPECT_FALSE(mail::SerializeMessage(unbroken, text));
    EXPECT_TRUE(text.empty());
}

TEST_F(MessageRender, LineBreaksInHeaderFieldsAreRefused) {
    using Change = std::function<void(CMailMessage&)>;
    const std::pair<const char*, Change> cases[] = {
        {"sender address", [](CMailMessage& m) { m.sender.address = "a@x\r\nBcc: victim@x"; }},
        {"sender name", [](CMailMessage& m) { m.sender.displayName = "Me\nX-Evil: 1"; }},
        {"recipient name", [](CMailMessage& m) { m.recipient.displayName = "You\r"; }},
        {"further", [](CMailMessage& m) { m.AddRecipient(CMailAddress("b@x\n", nullptr)); }},
        {"blind",
         [](CMailMessage& m) { m.AddBlindRecipient(CMailAddress("c@x\r\nDATA", nullptr)); }},
        {"subject", [](CMailMessage& m) { m.subject = "Hi\r\n\r\nbody"; }},
        {"subject NUL", [](CMailMessage& m) { m.subject = std::string("Hi\0there", 8); }},
        {"message id", [](CMailMessage& m) { m.messageId = "id\n"; }},
        {"part type",
         [](CMailMessage& m) {
             m.AddPart(CMailPart("x", "text/plain\r\nX: y", "a", MailEncoding::Auto));
         }},
        {"attachment name",
         [this](CMailMessage& m) {
             m.AddAttachment(CMailAttachment(attachmentFile_.c_str(), "a\r\n.txt", 0, nullptr,
                                             nullptr, MailEncoding::Auto));
         }},
        {"header value", [](CMailMessage& m) { m.headers.AddHeader("X-Tag", "a\nb"); }},
        {"header fold without blank",
         [](CMailMessage& m) { m.headers.AddHeader("X-Tag", "a\r\nb"); }},
        {"header name", [](CMailMessage& m) { m.headers.AddHeader("X-Tag: 1\r\nX", "b"); }},
    };
    for (const auto& [what, change] : cases) {
        CMailMessage m = message();
        change(m);
        std::string problem;
        EXPECT_FALSE(mail::ValidateMessage(m, &problem)) << what;
        EXPECT_FALSE(problem.empty()) << what;
        std::string text = "old";
        EXPECT_FALSE(mail::SerializeMessage(m, text)) << what;
        EXPECT_TRUE(text.empty()) << what;
    }

    // A properly folded value is fine, and so is a body full of line breaks.
    CMailMessage ok = message();
    ok.headers.AddHeader("X-Tag", "a;\r\n\tb");
    ok.AddPart(text("line\r\n\r\nline\n"));
    EXPECT_TRUE(mail::ValidateMessage(ok));
    EXPECT_NE(render(ok).find("X-Tag: a;\r\n\tb\r\n"), std::string::npos);
}

}  // namespace
