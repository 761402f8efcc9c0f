// A multi-part sample message and a check of what a parser makes of it, shared by the MIME
// tests and the real-server delivery test of the SMTP client.
#pragma once

#include <filesystem>
#include <string>
#include <vector>

#include "mime/mail_environment.h"
#include "mime/mail_message.h"

namespace mailtest {

struct SampleMessage {
    mail::CMailMessage message;
    std::string expectationJson;                  // what CheckMimeMessage compares against
    std::vector<std::string> envelopeRecipients;  // recipient, further, blind: in RCPT TO order
};

// Three text parts (7bit, 8bit, quoted-printable, with lines that begin with a dot) and two
// attachments (a text file that the automatic choice sends quoted-printable, a binary file with
// zero bytes sent base64), two further recipients and one blind recipient. The attachment files
// are written into `folder`, which must exist and outlive the rendering of the message.
SampleMessage BuildSampleMessage(
    const std::filesystem::path& folder,
    const mail::MailEnvironment& environment = mail::SystemMailEnvironment());

// Parses `messageText` with Python's email package (check_mime_message.py) and compares headers,
// parts and decoded bodies with the expectation. `unstuff` undoes dot-stuffing first (for text
// that did not pass through a server). Returns "" on a match, else the mismatches. Work files go
// into `folder`.
std::string CheckMimeMessage(const std::string& messageText, const std::string& expectationJson,
                             bool unstuff, const std::filesystem::path& folder);

}  // namespace mailtest
