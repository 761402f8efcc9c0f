// A mail message in memory: addresses, subject, text parts, attachments, extra headers, time
// stamp. SerializeMessage renders it as the text sent after DATA. One thread uses a message.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "mime/mail_address.h"
#include "mime/mail_attachment.h"
#include "mime/mail_header_list.h"
#include "mime/mail_part.h"
#include "platform/local_time.h"

namespace mail {

class MailEnvironment;

enum class MultipartKind : int32_t {
    Auto = 0,         // chosen at rendering: Mixed with attachments, else Alternative
    Mixed = 1,        // "mixed"
    Alternative = 2,  // "alternative"
    Related = 3,      // "related"
};

class CMailMessage {
  public:
    // Time stamp and zone offset are taken now, from the system or from `environment` (which
    // must outlive the message and its copies; it also gives the tick count for boundaries).
    CMailMessage();
    explicit CMailMessage(const MailEnvironment& environment);

    // Append a copy; the element is silently left out when memory runs out (false).
    bool AddPart(const CMailPart& part);
    bool AddRecipient(const CMailAddress& address);       // a further recipient (To and envelope)
    bool AddBlindRecipient(const CMailAddress& address);  // envelope only
    bool AddAttachment(const CMailAttachment& attachment);

    const MailEnvironment& Environment() const { return *environment_; }

    CMailAddress sender;     // From header and envelope sender
    CMailAddress recipient;  // first address of To and an envelope recipient
    std::string subject;
    std::vector<CMailPart> parts;
    std::vector<CMailAddress> furtherRecipients;
    std::vector<CMailAddress> blindRecipients;
    std::vector<CMailAttachment> attachments;
    CMailHeaderList headers;  // filled during rendering
    platform::SystemTime timeStamp;
    MultipartKind multipartKind = MultipartKind::Auto;
    std::string messageId;   // without angle brackets; empty: no Message-ID header
    int32_t zoneOffset = 0;  // signed hhmm: 800 for UTC+08:00, -530 for UTC-05:30

  private:
    const MailEnvironment* environment_;
};

// The fixed mailer identification written as X-Mailer.
inline constexpr const char* kMailerName = "Corvantis Alert Mailer 1.0";

// Fills the standard header pairs (X-Priority, X-MSMail-Priority, X-Mailer, Importance when
// missing; Date, Subject, To, From replaced).
void CommitHeaders(CMailMessage& message);

// Clears `output` and renders the whole message into it (headers, then the MIME body; the text
// does not end in the end-of-data sequence). Changes the header list and, for a multipart
// message still at MultipartKind::Auto, the kind. Returns false, with `output` empty, when the
// message cannot be sent safely (see ValidateMessage) or holds a header line longer than 998 bytes
// that cannot be folded at a blank: nothing of such a message may be sent.
bool SerializeMessage(CMailMessage& message, std::string& output);

// True when no address, display name, subject, message id, part or attachment field and no
// extra header holds CR, LF or NUL (header values may hold folds: CR LF then blank or TAB), so
// nothing can add header lines or SMTP commands. `problem` (when given) names the first fault.
bool ValidateMessage(const CMailMessage& message, std::string* problem = nullptr);

}  // namespace mail
