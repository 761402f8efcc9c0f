#include "mime_sample_message.h"

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <random>
#include <sstream>

#include "mime/content_encoders.h"

namespace mailtest {
namespace {

std::string jsonString(const std::string& text) {
    std::string out = "\"";
    for (unsigned char c : text) {
        if (c == '"' || c == '\\') {
            out += '\\';
            out += static_cast<char>(c);
        } else if (c < 0x20 || c >= 0x7F) {
            char escape[8];
            std::snprintf(escape, sizeof escape, "\\u%04x", c);
            out += escape;
        } else {
            out += static_cast<char>(c);
        }
    }
    return out + "\"";
}

std::string hex(const std::string& bytes) {
    static constexpr char kHex[] = "0123456789abcdef";
    std::string out;
    for (unsigned char c : bytes) {
        out += kHex[c >> 4];
        out += kHex[c & 15];
    }
    return out;
}

struct ExpectedPart {
    std::string contentType, charset, encoding, filename, disposition, body;
    bool text = true;
};

std::string partJson(const ExpectedPart& p) {
    std::ostringstream json;
    json << "{\"content_type\": " << jsonString(p.contentType);
    if (!p.charset.empty())
        json << ", \"charset\": " << jsonString(p.charset);
    json << ", \"encoding\": " << jsonString(p.encoding);
    if (!p.filename.empty())
        json << ", \"filename\": " << jsonString(p.filename);
    json << ", \"disposition\": " << (p.disposition.empty() ? "null" : jsonString(p.disposition));
    json << ", \"body_hex\": " << jsonString(hex(p.body));
    json << ", \"text\": " << (p.text ? "true" : "false") << "}";
    return json.str();
}

void writeFile(const std::filesystem::path& path, const std::string& bytes) {
    std::ofstream file(path, std::ios::binary | std::ios::trunc);
    file.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

std::string readFile(const std::filesystem::path& path) {
    std::ifstream file(path, std::ios::binary);
    std::ostringstream text;
    text << file.rdbuf();
    return text.str();
}

}  // namespace

SampleMessage BuildSampleMessage(const std::filesystem::path& folder,
                                 const mail::MailEnvironment& environment) {
    using mail::MailEncoding;
    SampleMessage sample{mail::CMailMessage(environment), {}, {}};
    mail::CMailMessage& m = sample.message;
    m.sender = mail::CMailAddress("sender@example.com", "Alert Sender");
    m.recipient = mail::CMailAddress("ops@example.com", "Ops Desk");
    m.AddRecipient(mail::CMailAddress("second@example.com", nullptr));
    m.AddRecipient(mail::CMailAddress("third@example.com", "Third \"Desk\""));
    m.AddBlindRecipient(mail::CMailAddress("hidden@example.com", "Hidden"));
    m.subject = "Corvantis sample message";
    sample.envelopeRecipients = {"ops@example.com", "second@example.com", "third@example.com",
                                 "hidden@example.com"};

    const std::string sevenBit =
        "Plain seven-bit text.\r\n.A line that begins with a dot\r\nCaf\xC3\xA9 loses its "
        "accent\r\n";
    const std::string eightBit =
        "Gr\xC3\xBC\xC3\x9F"
        "e aus K\xC3\xB6ln\r\n..two dots\r\n";
    const std::string quoted =
        "<p>a=b, and a line well past seventy-six characters so that it needs a soft break "
        "\xC3\xBC</p>\r\n.dot \r\ntrailing tab\t\r\n";
    m.AddPart(mail::CMailPart(sevenBit.c_str(), "text/plain", "us-ascii", MailEncoding::SevenBit));
    m.AddPart(mail::CMailPart(eightBit.c_str(), "text/plain", "utf-8", MailEncoding::EightBit));
    m.AddPart(mail::CMailPart(quoted.c_str(), "text/html", "utf-8", MailEncoding::QuotedPrintable));

    const std::string notes = "x=1\r\n" + std::string(100, 'n') + " long line\r\n.last\r\n";
    std::string blob(4096, '\0');
    std::mt19937 random(4242);
    for (char& c : blob)
        c = static_cast<char>(random() & 0xFF);
    blob[0] = '\0';
    blob[10] = '.';
    writeFile(folder / "notes.txt", notes);
    writeFile(folder / "blob.dat", blob);
    m.AddAttachment(mail::CMailAttachment((folder / "notes.txt").c_str(), nullptr, 0, "text/plain",
                                          "utf-8", MailEncoding::Auto));
    m.AddAttachment(mail::CMailAttachment((folder / "blob.dat").c_str(), "payload.bin", 1,
                                          "application/octet-stream", nullptr, MailEncoding::Auto));

    std::string strippedSevenBit;
    mail::StripTo7Bit(strippedSevenBit, sevenBit);
    std::vector<ExpectedPart> parts = {
        {"text/plain", "us-ascii", "7bit", "", "", strippedSevenBit},
        {"text/plain", "utf-8", "8bit", "", "", eightBit},
        {"text/html", "utf-8", "quoted-printable", "", "", quoted},
        {"text/plain", "utf-8", "quoted-printable", "notes.txt", "attachment", notes},
        {"application/octet-stream", "", "base64", "payload.bin", "inline", blob, false},
    };
    std::ostringstream json;
    json << "{\"from\": [\"Alert Sender\", \"sender@example.com\"],\n"
         << " \"to\": [[\"Ops Desk\", \"ops@example.com\"], [\"\", \"second@example.com\"],"
         << " [\"Third \\\"Desk\\\"\", \"third@example.com\"]],\n"
         << " \"subject\": " << jsonString(m.subject) << ",\n"
         << " \"absent\": [\"hidden@example.com\", \"Bcc\"],\n"
         << " \"content_type\": \"multipart/mixed\",\n \"parts\": [\n";
    for (size_t i = 0; i < parts.size(); ++i) {
        json << "  " << partJson(parts[i]) << (i + 1 < parts.size() ? ",\n" : "\n");
    }
    json << " ]}\n";
    sample.expectationJson = json.str();
    return sample;
}

std::string CheckMimeMessage(const std::string& messageText, const std::string& expectationJson,
                             bool unstuff, const std::filesystem::path& folder) {
    auto message = folder / "checked_message.eml";
    auto expectation = folder / "checked_expectation.json";
    auto report = folder / "checked_report.txt";
    writeFile(message, messageText);
    writeFile(expectation, expectationJson);
    std::string command = std::string("/usr/bin/python3 '") + MAIL_MIME_CHECK_SCRIPT + "' '" +
                          message.string() + "' '" + expectation.string() + "'" +
                          (unstuff ? " --unstuff" : "") + " > '" + report.string() + "' 2>&1";
    int status = std::system(command.c_str());
    std::string output = readFile(report);
    if (status == 0)
        return {};
    return output.empty() ? "the checker failed to run: " + command : output;
}

}  // namespace mailtest
