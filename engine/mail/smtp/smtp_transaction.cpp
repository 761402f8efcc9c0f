// The transaction half of CSmtp: MAIL FROM, RCPT TO, DATA and the whole SendMail.
#include <string>

#include "mime/mail_message.h"
#include "smtp/smtp_client.h"
#include "smtp/smtp_protocol.h"

namespace mail {
namespace {

// How often MAIL FROM is sent again after 530 ("authentication required") and a login that
// the server accepted. A login that fails, or no login at all, ends the loop at once.
constexpr int kMaxLoginsForMailFrom = 2;

}  // namespace

int CSmtp::SendMailFrom(const char* address) {
    std::string value = address ? address : "";
    if (!fitsOneLine(value))
        return -1;
    const std::string line = "MAIL FROM: <" + value + ">\r\n";
    int code = SendCommand(line.c_str());
    for (int login = 0; code == 530 && login < kMaxLoginsForMailFrom; ++login) {
        if (login_.empty() || Authenticate() != 0)
            break;
        code = SendCommand(line.c_str());
    }
    if (code == 250)
        return 0;
    reportError(code);
    return code;
}

int CSmtp::SendRcptTo(const char* address) {
    std::string value = address ? address : "";
    if (!fitsOneLine(value))
        return -1;
    int code = SendCommand(("RCPT TO: <" + value + ">\r\n").c_str());
    if (code == 250 || code == 251)
        return 0;
    OnReplyNotice(code, lastReply_.c_str());
    return code;
}

int CSmtp::SendData(CMailMessage& message) {
    // Rendered before DATA: a message that cannot be rendered safely is refused while the
    // server can still be told nothing, instead of ending the data early with a partial text.
    std::string text;
    if (!SerializeMessage(message, text))
        return -1;
    // The end-of-data line follows the message's last line end; a message that ends without
    // one gets it first. So the server stores exactly the rendered text, and no empty line is
    // added to the end of the last part.
    bool endsWithLineEnd = text.size() >= 2 && text.compare(text.size() - 2, 2, "\r\n") == 0;
    text += endsWithLineEnd || text.empty() ? ".\r\n" : "\r\n.\r\n";
    int code = SendCommand("DATA\r\n");
    if (code != 354) {
        reportError(code);
        return code;
    }
    code = exchange(text.c_str(), text.size());
    if (code == 250)
        return 0;
    reportError(code);
    return code;
}

int CSmtp::SendMail(CMailMessage& message) {
    if (message.sender.address.empty())
        return -1;
    if (message.recipient.address.empty() && message.furtherRecipients.empty())
        return -1;
    // A CR or LF in an address, a display name or the subject would add commands or headers.
    if (!ValidateMessage(message))
        return -1;
    int result = SendMailFrom(message.sender.address.c_str());
    if (result != 0)
        return result;

    int accepted = 0;
    auto offer = [&](const CMailAddress& to) {
        result = SendRcptTo(to.address.c_str());
        if (result == 0)
            ++accepted;
    };
    if (!message.recipient.address.empty())
        offer(message.recipient);
    for (const CMailAddress& to : message.furtherRecipients)
        offer(to);
    for (const CMailAddress& to : message.blindRecipients)
        offer(to);
    if (accepted == 0) {
        reportError(result);
        return result;
    }
    return SendData(message);
}

}  // namespace mail
