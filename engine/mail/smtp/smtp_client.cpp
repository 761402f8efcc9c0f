// The connection half of CSmtp: connecting, the command / reply exchange, greeting, AUTH LOGIN
// and closing. The transaction (MAIL FROM, RCPT TO, DATA) is in smtp_transaction.cpp.
#include "smtp/smtp_client.h"

#include <algorithm>
#include <cstring>

#include "mime/base64_coder.h"
#include "platform/host_name.h"
#include "platform/service_port.h"
#include "smtp/smtp_protocol.h"

namespace mail {
namespace {

constexpr size_t kChunkBytes = 1024;
constexpr size_t kMaxServerName = 255;
// AUTH LOGIN bounds: prompts answered in one exchange, and fresh starts a refinement may ask
// for with OnReplyNotice returning 1. A server that keeps prompting cannot hold the thread.
constexpr int kMaxPromptsPerLogin = 8;
constexpr int kMaxLoginStarts = 3;

std::string greetingName(const std::string& configured) {
    bool usable = !configured.empty() && std::all_of(configured.begin(), configured.end(),
                                                     [](char c) { return c > ' ' && c <= '~'; });
    return usable ? configured : platform::localHostName();
}

}  // namespace

CSmtp::CSmtp() : CSmtp(SmtpOptions{}) {}

CSmtp::CSmtp(const SmtpOptions& options)
    : connector_(options.connector ? options.connector : platform::systemTcpConnector()),
      helloName_(greetingName(options.helloName)),
      replyTimeout_(options.replyTimeout),
      port_(options.port != 0 ? options.port : platform::servicePort("smtp", "tcp", 25)) {}

CSmtp::~CSmtp() {
    Close();
}

int CSmtp::OnReplyNotice(int, const char*) {
    return 0;
}
int CSmtp::OnError(int, const char*) {
    return 0;
}
void CSmtp::OnReply(const char*, int, const char*) {}
bool CSmtp::OnSendProgress(const char*, size_t, size_t) {
    return true;
}

void CSmtp::SetLogin(std::string_view loginName, std::string_view password) {
    login_ = loginName;
    password_ = password;
}

int CSmtp::reportError(int code) {
    if (code == -1)
        open_ = 0;  // the connection is gone: Close must not try QUIT
    return OnError(code, lastReply_.c_str());
}

bool CSmtp::Connect(const char* server) {
    std::string name = server ? server : "";
    Close();
    // Longer names are no host name at all; cutting one could reach a different host.
    if (name.empty() || name.size() > kMaxServerName || !fitsOneLine(name))
        return false;
    server_ = name;
    stream_ = connector_->connect(server_, port_);
    if (!stream_)
        return false;
    int code = SendCommand(nullptr);
    if (code != 220) {
        reportError(code);
        Close();
        return false;
    }
    if (SendHello() != 0) {
        Close();
        return false;
    }
    return true;
}

void CSmtp::Close() {
    if (!stream_)
        return;
    if (open_)
        SendQuit();
    stream_->shutdownBoth();
    stream_.reset();
    open_ = 0;
}

int CSmtp::SendCommand(const char* command) {
    return exchange(command, command ? std::strlen(command) : 0);
}

int CSmtp::exchange(const char* command, size_t length) {
    if (!stream_)
        return -1;
    if (command) {
        discardPending();
        if (!sendCommandText(command, length))
            return -1;
    }
    return readReply(command);
}

void CSmtp::discardPending() {
    // Whatever the server sent unasked belongs to no command of ours. Bounded, so that a peer
    // that never stops sending cannot hold the thread here.
    char scrap[kChunkBytes];
    size_t dropped = 0;
    while (dropped < kMaxReplyBytes && stream_->waitReadable(std::chrono::milliseconds(0)) ==
                                           platform::TcpStream::Wait::kReady) {
        long n = stream_->receive(scrap, sizeof(scrap));
        if (n <= 0)
            break;
        dropped += static_cast<size_t>(n);
    }
}

bool CSmtp::sendCommandText(const char* command, size_t length) {
    size_t sent = 0;
    while (sent < length) {
        size_t piece = std::min(kChunkBytes, length - sent);
        if (!stream_->sendAll(command + sent, piece, replyTimeout_))
            return false;
        sent += piece;
        if (length > kChunkBytes && !OnSendProgress(command, sent, length))
            return false;
    }
    return true;
}

int CSmtp::readReply(const char* command) {
    using Clock = std::chrono::steady_clock;
    std::string received;
    size_t end = std::string::npos;
    const auto start = Clock::now();
    char piece[kChunkBytes];
    while (end == std::string::npos && received.size() <= kMaxReplyBytes) {
        auto elapsed = std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - start);
        if (elapsed >= replyTimeout_)
            break;
        auto wait = stream_->waitReadable(replyTimeout_ - elapsed);
        if (wait == platform::TcpStream::Wait::kFailed)
            break;
        if (wait == platform::TcpStream::Wait::kTimedOut)
            continue;
        long n = stream_->receive(piece, sizeof(piece));
        if (n <= 0)
            break;
        received.append(piece, static_cast<size_t>(n));
        end = findReplyEnd(received);
    }
    if (end == std::string::npos) {
        lastReply_ = std::move(received);
        return -1;
    }
    // Bytes after the reply's last line answer nothing we asked; they are dropped here just as
    // discardPending drops them before the next command.
    lastReply_ = std::string(stripFinalLineEnd(std::string_view(received).substr(0, end)));
    int code = replyCode(lastReply_);
    OnReply(command, code, lastReply_.c_str());
    return code;
}

int CSmtp::SendHello() {
    // EHLO first: servers that offer AUTH refuse it after a plain HELO. A server that refuses
    // EHLO is greeted with HELO and is not asked to authenticate.
    int code = -1;
    if (tryExtended_)
        code = SendCommand(("EHLO " + helloName_ + "\r\n").c_str());
    if (tryExtended_ && code == 250) {
        extended_ = 1;
    } else {
        extended_ = 0;
        code = SendCommand(("HELO " + helloName_ + "\r\n").c_str());
        if (code != 250) {
            reportError(code);
            return code;
        }
    }
    open_ = 1;
    if (extended_)
        Authenticate();  // a refused login shows up as a refusal of MAIL FROM
    return 0;
}

bool CSmtp::answerPrompt(std::string& answer) const {
    std::string_view prompt =
        std::string_view(lastReply_).substr(std::min<size_t>(4, lastReply_.size()));
    CBase64Coder coder;
    coder.Decode(prompt.data(), prompt.size());
    std::string_view decoded = coder.DecodedData();
    const std::string* value = nullptr;
    if (equalsIgnoringCase(decoded, "Username:")) {
        value = &login_;
    } else if (equalsIgnoringCase(decoded, "Password:")) {
        value = &password_;
    } else {
        return false;
    }
    coder.Encode(value->data(), value->size());
    answer.assign(coder.EncodedData(), coder.EncodedLength());
    answer += "\r\n";
    return true;
}

int CSmtp::Authenticate() {
    if (login_.empty())
        return 0;
    // Base64 would carry a CR or LF safely, but no real account holds one: such a value comes
    // from a damaged or hostile setting and is not sent at all.
    if (!fitsOneLine(login_) || !fitsOneLine(password_))
        return -1;
    int code = -1;
    for (int start = 0; start < kMaxLoginStarts; ++start) {
        code = SendCommand("AUTH LOGIN\r\n");
        if (code != 334) {
            OnReplyNotice(code, lastReply_.c_str());
            return code;
        }
        for (int prompt = 0; code == 334; ++prompt) {
            std::string answer;
            if (prompt == kMaxPromptsPerLogin || !answerPrompt(answer)) {
                reportError(334);
                return 334;
            }
            code = SendCommand(answer.c_str());
            if (code == 535) {
                int replacement = OnReplyNotice(535, lastReply_.c_str());
                if (replacement == 0) {
                    reportError(535);
                    return 535;
                }
                code = replacement;
            }
        }
        if (code == 235)
            return 0;
        if (code != 1) {
            reportError(code);
            return code;
        }
    }
    // The refinement kept asking for a fresh start: report the refusal that led there.
    reportError(535);
    return 535;
}

int CSmtp::SendQuit() {
    if (!open_)
        return 0;
    int code = SendCommand("QUIT\r\n");
    if (code != 221)
        reportError(code);
    open_ = 0;
    return code == 221 ? 0 : code;
}

}  // namespace mail
