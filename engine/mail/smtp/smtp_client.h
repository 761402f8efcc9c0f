// CSmtp: delivers one message to one SMTP server over one TCP connection, in strict command /
// reply lock-step, with AUTH LOGIN when a login name is set. The object owns its connection
// (closed by Close and by the destructor) and belongs to the thread that made it; several
// clients may run at the same time on different threads and share nothing but the connector.
#pragma once

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

#include "platform/tcp_client.h"
#include "smtp/smtp_options.h"

namespace mail {

class CMailMessage;

// Return values of the operations below: 0 success; -1 no usable reply (time-out, connection
// closed, socket error, send failure) or a precondition failed (not connected, a value that
// does not fit one command line, a message that cannot be rendered); otherwise the SMTP reply
// code that ended the operation. Connect alone returns true or false.
class CSmtp {
  public:
    // The system's sockets, the port of service "smtp"/"tcp" (else 25), a 30-second reply limit.
    CSmtp();
    explicit CSmtp(const SmtpOptions& options);
    CSmtp(const CSmtp&) = delete;
    CSmtp& operator=(const CSmtp&) = delete;
    // Closes the connection (QUIT first when the greeting had succeeded).
    virtual ~CSmtp();

    // Hooks for refinement; the defaults are what the system uses. `text` is the last reply.
    // A notice about a reply that did not go as hoped. In Authenticate, a non-zero result after
    // 535 replaces the reply code (1 starts the login again); elsewhere the result is ignored.
    virtual int OnReplyNotice(int code, const char* text);
    // A failure that ends an operation; reached only through reportError. Result unused.
    virtual int OnError(int code, const char* text);
    // Every reply read: the command sent (null for the greeting), its code and text.
    virtual void OnReply(const char* command, int code, const char* text);
    // After each 1024-byte piece of a command longer than 1024 bytes; false abandons it.
    virtual bool OnSendProgress(const char* data, size_t sent, size_t total);

    // The login used for AUTH LOGIN; an empty name means no authentication.
    void SetLogin(std::string_view loginName, std::string_view password);

    // Connects to `server` (host name or dotted IPv4 address), reads the 220 greeting and
    // greets (EHLO, then HELO when EHLO is refused). True when the greeting succeeded; on false
    // the client is closed. Any previous connection is closed first.
    bool Connect(const char* server);
    // Ends the connection: QUIT when open, then shutdown and close. Connect may follow.
    void Close();

    // Sends `command` (null: nothing, only read a reply) and reads one whole reply. Returns its
    // code or -1. Bytes the server sent before the command are discarded first.
    int SendCommand(const char* command);
    int SendHello();
    int Authenticate();
    int SendQuit();
    // `address` without angle brackets.
    int SendMailFrom(const char* address);
    int SendRcptTo(const char* address);
    // DATA, the rendered message and the end-of-data line.
    int SendData(CMailMessage& message);
    // One whole transaction: MAIL FROM, RCPT TO for every recipient (blind ones included), DATA.
    // -1 before anything is sent when the message has no sender or no visible recipient, or
    // holds a value that could add lines to the dialogue or the header.
    int SendMail(CMailMessage& message);

    const std::string& LastReply() const { return lastReply_; }
    bool IsConnected() const { return stream_ != nullptr; }
    bool IsOpen() const { return open_ != 0; }
    bool IsExtended() const { return extended_ != 0; }
    uint16_t Port() const { return port_; }
    std::chrono::milliseconds ReplyTimeout() const { return replyTimeout_; }

  protected:
    // Clears the open flag when the connection is gone (-1), then calls OnError with the last
    // reply.
    int reportError(int code);

  private:
    int exchange(const char* command, size_t length);
    void discardPending();
    bool sendCommandText(const char* command, size_t length);
    int readReply(const char* command);
    // AUTH LOGIN answer for a prompt, base64 encoded; false for a prompt it does not know.
    bool answerPrompt(std::string& answer) const;

    std::shared_ptr<platform::TcpConnector> connector_;
    std::unique_ptr<platform::TcpStream> stream_;
    std::string helloName_;
    std::string server_;
    std::string login_;
    std::string password_;
    std::string lastReply_;
    std::chrono::milliseconds replyTimeout_;
    uint16_t port_;
    int32_t tryExtended_ = 1;
    int32_t open_ = 0;
    int32_t extended_ = 0;
};

}  // namespace mail
