#include "alert/mail_thread.h"

#include <cstring>
#include <memory>
#include <new>
#include <string_view>
#include <thread>

#include "mime/mail_message.h"
#include "smtp/smtp_client.h"
#include "smtp/smtp_protocol.h"

namespace mail {
namespace {

bool sortsAfterBlank(const std::string& value) {
    return std::strcmp(value.c_str(), " ") > 0;
}

bool isValidUtf8(std::string_view text) {
    size_t i = 0;
    while (i < text.size()) {
        auto lead = static_cast<unsigned char>(text[i]);
        if (lead < 0x80) {
            ++i;
            continue;
        }
        // Bytes that may follow the lead: no overlong forms, no surrogates, nothing past U+10FFFF.
        size_t extra;
        unsigned char low = 0x80, high = 0xBF;
        if (lead >= 0xC2 && lead <= 0xDF) {
            extra = 1;
        } else if (lead >= 0xE0 && lead <= 0xEF) {
            extra = 2;
            if (lead == 0xE0)
                low = 0xA0;
            if (lead == 0xED)
                high = 0x9F;
        } else if (lead >= 0xF0 && lead <= 0xF4) {
            extra = 3;
            if (lead == 0xF0)
                low = 0x90;
            if (lead == 0xF4)
                high = 0x8F;
        } else {
            return false;
        }
        if (text.size() - i <= extra)
            return false;
        for (size_t k = 1; k <= extra; ++k) {
            auto next = static_cast<unsigned char>(text[i + k]);
            if (next < (k == 1 ? low : 0x80) || next > (k == 1 ? high : 0xBF))
                return false;
        }
        i += extra + 1;
    }
    return true;
}

void deliver(const MailJob& job) {
    for (const std::string* value :
         {&job.server, &job.loginName, &job.password, &job.sender, &job.recipient, &job.subject}) {
        if (!fitsOneLine(*value))
            return;
    }
    CSmtp smtp(job.options.smtp);
    CMailMessage message;
    const char* charset = AlertCharset(job.body);
    CMailPart part(nullptr, "text/plain", charset, MailEncoding::Auto);
    CMailAttachment attachment(nullptr, nullptr, 0, nullptr, "iso-8859-1", MailEncoding::Auto);

    message.sender = CMailAddress(job.sender.c_str(), job.sender.c_str());
    message.recipient = CMailAddress(job.recipient.c_str(), job.recipient.c_str());
    message.subject = job.subject;
    part.text = job.body;
    message.AddPart(part);
    if (sortsAfterBlank(job.attachmentPath)) {
        attachment.fileName = job.attachmentPath;
        message.AddAttachment(attachment);
    }
    if (sortsAfterBlank(job.loginName))
        smtp.SetLogin(job.loginName, job.password);

    if (smtp.Connect(job.server.c_str()) || smtp.Connect(job.server.c_str())) {
        smtp.SendMail(message);
        smtp.Close();
    }
}

}  // namespace

const char* AlertCharset(const std::string& text) {
    bool ascii = true;
    for (char c : text)
        ascii = ascii && static_cast<unsigned char>(c) < 0x80;
    return !ascii && isValidUtf8(text) ? "utf-8" : "iso-8859-1";
}

bool StartMailThread(std::string server, std::string loginName, std::string password,
                     std::string sender, std::string recipient, std::string subject,
                     std::string body, std::string attachmentPath, MailThreadOptions options) {
    std::unique_ptr<MailJob> job(new (std::nothrow) MailJob);
    if (!job)
        return false;
    try {
        *job = MailJob{std::move(server), std::move(loginName),      std::move(password),
                       std::move(sender), std::move(recipient),      std::move(subject),
                       std::move(body),   std::move(attachmentPath), std::move(options)};
        std::thread thread(MailThreadProc, job.get());
        job.release();  // the thread owns it now
        thread.detach();
    } catch (...) {
        return false;  // out of memory or no thread: this mail is lost
    }
    return true;
}

int MailThreadProc(MailJob* rawJob) {
    std::unique_ptr<MailJob> job(rawJob);
    std::function<void()> finished;
    try {
        if (job) {
            finished = std::move(job->options.finished);
            deliver(*job);
        }
    } catch (...) {
        // A mail that cannot be built or sent is lost silently; the thread just ends.
    }
    job.reset();
    if (finished)
        finished();
    return 0;
}

}  // namespace mail
