#include "mime/mail_message.h"

#include <new>

#include "mime/header_text.h"
#include "mime/mail_date.h"
#include "mime/mail_environment.h"

namespace mail {
namespace {

template <typename T>
bool appendCopy(std::vector<T>& array, const T& element) {
    try {
        array.push_back(element);
        return true;
    } catch (const std::bad_alloc&) {
        return false;  // a failed growth drops the element silently
    }
}

void replaceHeader(CMailHeaderList& headers, std::string_view name, std::string_view value) {
    headers.RemoveHeader(name);
    headers.AddHeader(name, value);
}

void addHeaderIfMissing(CMailHeaderList& headers, std::string_view name, std::string_view value) {
    if (!headers.HasHeader(name))
        headers.AddHeader(name, value);
}

// "\"name\" " when there is a display name.
void appendDisplayName(std::string& value, const std::string& displayName) {
    if (displayName.empty())
        return;
    value += '"';
    value += QuoteText(displayName);
    value += "\" ";
}

}  // namespace

CMailMessage::CMailMessage() : CMailMessage(SystemMailEnvironment()) {}

CMailMessage::CMailMessage(const MailEnvironment& environment) : environment_(&environment) {
    platform::LocalTimeReading now = environment.LocalTime();
    timeStamp = now.time;
    zoneOffset = ZoneOffsetFromBias(now.biasMinutes);
}

bool CMailMessage::AddPart(const CMailPart& part) {
    return appendCopy(parts, part);
}

bool CMailMessage::AddRecipient(const CMailAddress& address) {
    return appendCopy(furtherRecipients, address);
}

bool CMailMessage::AddBlindRecipient(const CMailAddress& address) {
    return appendCopy(blindRecipients, address);
}

bool CMailMessage::AddAttachment(const CMailAttachment& attachment) {
    return appendCopy(attachments, attachment);
}

void CommitHeaders(CMailMessage& message) {
    CMailHeaderList& headers = message.headers;
    addHeaderIfMissing(headers, "X-Priority", "3 (Normal)");
    addHeaderIfMissing(headers, "X-MSMail-Priority", "Normal");
    addHeaderIfMissing(headers, "X-Mailer", kMailerName);
    addHeaderIfMissing(headers, "Importance", "Normal");

    replaceHeader(headers, "Date", FormatMailDate(message.timeStamp, message.zoneOffset));
    replaceHeader(headers, "Subject", message.subject);

    std::string to;
    appendDisplayName(to, message.recipient.displayName);
    if (!message.recipient.address.empty())
        to += "<" + message.recipient.address + ">";
    for (const CMailAddress& further : message.furtherRecipients) {
        if (!to.empty())
            to += ",\r\n\t";
        appendDisplayName(to, further.displayName);
        to += "<" + further.address + ">";
    }
    replaceHeader(headers, "To", to);

    std::string from;
    appendDisplayName(from, message.sender.displayName);
    from += "<" + message.sender.address + ">";
    replaceHeader(headers, "From", from);
}

}  // namespace mail
