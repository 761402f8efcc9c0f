// The sending threads of alert mail. StartMailThread copies everything a mail needs into a
// MailJob and hands it to a detached thread running MailThreadProc; that thread owns the job,
// frees it when it ends, and touches nothing else but objects of its own.
#pragma once

#include <functional>
#include <string>

#include "smtp/smtp_options.h"

namespace mail {

// How the sending thread reaches the server. The defaults are the system's.
struct MailThreadOptions {
    SmtpOptions smtp;
    // Called last on the sending thread, after the job and every object of the mail are gone
    // (tests and benchmarks wait on it). Must not throw.
    std::function<void()> finished;
};

struct MailJob {
    std::string server;
    std::string loginName;
    std::string password;
    std::string sender;
    std::string recipient;
    std::string subject;
    std::string body;
    std::string attachmentPath;
    MailThreadOptions options;
};

// Starts a detached thread that sends one mail. True when the thread runs; false when the job
// could not be allocated or the thread could not be created (the mail is then lost).
bool StartMailThread(std::string server, std::string loginName, std::string password,
                     std::string sender, std::string recipient, std::string subject,
                     std::string body, std::string attachmentPath, MailThreadOptions options = {});

// The sending thread's routine: builds a text/plain message (and the attachment, when the path
// is set), logs in when a login name is set, connects (a second attempt when the first fails),
// sends and closes. Takes ownership of `job` and frees it. Every failure is silent, and so is a
// value that could add lines to the dialogue or the header (CR, LF or NUL in server, login,
// password, sender, recipient or subject): no connection is made for it. Returns 0.
int MailThreadProc(MailJob* job);

// The charset label of an alert text: "iso-8859-1" for text that is plain ASCII or not valid
// UTF-8, "utf-8" for UTF-8 text with bytes above 127 (this system's text is UTF-8).
const char* AlertCharset(const std::string& text);

}  // namespace mail
