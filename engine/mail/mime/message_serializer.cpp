#include <cstdio>
#include <filesystem>
#include <fstream>
#include <optional>
#include <string>
#include <string_view>

#include "mime/content_encoders.h"
#include "mime/header_text.h"
#include "mime/mail_environment.h"
#include "mime/mail_message.h"

namespace mail {
namespace {

constexpr std::string_view kPreamble = "This is a multipart message in MIME format";

std::string boundary(const char* prefix, uint32_t tick) {
    char text[64];
    std::snprintf(text, sizeof text, "%s%8.8X", prefix, static_cast<unsigned>(tick));
    return text;
}

const char* multipartName(MultipartKind kind) {
    switch (kind) {
        case MultipartKind::Mixed:
            return "mixed";
        case MultipartKind::Related:
            return "related";
        default:
            return "alternative";
    }
}

bool isTextType(std::string_view contentType) {
    if (contentType.size() < 5)
        return false;
    static constexpr std::string_view kText = "text/";
    for (size_t i = 0; i < 5; ++i) {
        char c = contentType[i];
        if (c >= 'A' && c <= 'Z')
            c = static_cast<char>(c - 'A' + 'a');
        if (c != kText[i])
            return false;
    }
    return true;
}

// The whole file, or nothing when it is missing, not a regular file or cannot be read.
std::optional<std::string> readAttachmentFile(const std::string& path) {
    std::error_code error;
    if (!std::filesystem::is_regular_file(path, error))
        return std::nullopt;
    auto size = std::filesystem::file_size(path, error);
    if (error)
        return std::nullopt;
    std::ifstream file(path, std::ios::binary);
    if (!file)
        return std::nullopt;
    std::string data(size, '\0');
    if (size > 0 && !file.read(data.data(), static_cast<std::streamsize>(size)))
        return std::nullopt;
    return data;
}

// The name shown to the recipient: the alternative name, else the file's own name.
std::string shownName(const CMailAttachment& attachment) {
    if (!attachment.alternativeName.empty())
        return attachment.alternativeName;
    size_t slash = attachment.fileName.rfind('/');
    return slash == std::string::npos ? attachment.fileName : attachment.fileName.substr(slash + 1);
}

// Renders the message into `out`; false when a heading cannot be carried.
class Renderer {
  public:
    Renderer(CMailMessage& message, std::string& out)
        : message_(message), environment_(message.Environment()), out_(out) {}

    bool render();

  private:
    bool appendHeading(std::string heading) {
        if (!FoldLongLines(heading))
            return false;
        out_ += heading;
        return true;
    }
    bool renderPart(const CMailPart& part, const std::string& boundaryText);
    bool renderAttachment(const CMailAttachment& attachment, const std::string& outer);

    CMailMessage& message_;
    const MailEnvironment& environment_;
    std::string& out_;
};

bool Renderer::render() {
    CMailHeaderList& headers = message_.headers;
    size_t items = message_.parts.size() + message_.attachments.size();
    bool hasAttachments = !message_.attachments.empty();

    headers.RemoveHeader("Content-Type");
    std::string outer;
    if (items > 1) {
        outer = boundary("CSmtpMsgPart123X456_000_", environment_.TickCount());
        if (message_.multipartKind == MultipartKind::Auto) {
            message_.multipartKind =
                hasAttachments ? MultipartKind::Mixed : MultipartKind::Alternative;
        }
        headers.AddHeader("Content-Type", std::string("multipart/") +
                                              multipartName(message_.multipartKind) +
                                              ";\r\n\tboundary=\"" + outer + "\"");
    }
    headers.RemoveHeader("MIME-Version");
    headers.AddHeader("MIME-Version", "1.0");
    headers.RemoveHeader("Message-ID");
    if (!message_.messageId.empty())
        headers.AddHeader("Message-ID", "<" + message_.messageId + ">");
    CommitHeaders(message_);

    std::string block;
    for (size_t i = headers.Count(); i-- > 0;) {
        block += headers.Name(i) + ": " + headers.Value(i) + "\r\n";
    }
    if (!appendHeading(std::move(block)))
        return false;

    if (!outer.empty())
        out_ += "\r\n" + std::string(kPreamble) + "\r\n";
    std::string inner;
    if (hasAttachments && message_.parts.size() > 1) {
        inner = boundary("CSmtpMsgPart123X456_001_", environment_.TickCount());
        out_ += "\r\n--" + outer + "\r\nContent-Type: multipart/alternative;\r\n\tboundary=\"" +
                inner + "\"\r\n";
    }
    for (const CMailPart& part : message_.parts) {
        if (!renderPart(part, inner.empty() ? outer : inner))
            return false;
    }
    if (!inner.empty())
        out_ += "\r\n--" + inner + "--\r\n";
    for (const CMailAttachment& attachment : message_.attachments) {
        if (!renderAttachment(attachment, outer))
            return false;
    }
    if (!outer.empty())
        out_ += "\r\n--" + outer + "--\r\n";
    return true;
}

bool Renderer::renderPart(const CMailPart& part, const std::string& boundaryText) {
    if (!boundaryText.empty())
        out_ += "\r\n--" + boundaryText + "\r\n";
    std::string heading = "Content-Type: " + part.contentType;
    if (isTextType(part.contentType))
        heading += ";\r\n\tcharset=\"" + QuoteText(part.charset) + "\"";
    heading += "\r\n";

    std::string text = part.text;
    std::string encodingName;
    EncodeContent(part.encoding, text, encodingName, nullptr, 0, environment_);

    heading += "Content-Transfer-Encoding: " + encodingName;
    if (!part.contentId.empty())
        heading += "\r\nContent-ID: <" + part.contentId + ">";
    if (!appendHeading(std::move(heading)))
        return false;
    out_ += "\r\n\r\n";
    out_ += text;
    return true;
}

bool Renderer::renderAttachment(const CMailAttachment& attachment, const std::string& outer) {
    std::optional<std::string> data = readAttachmentFile(attachment.fileName);
    if (!data)
        return true;  // left out without notice

    if (!outer.empty())
        out_ += "\r\n--" + outer + "\r\n";
    std::string name = shownName(attachment);
    std::string contentType = "application/octet-stream";
    if (size_t dot = name.find('.'); dot != std::string::npos) {
        // The whole tail from the first '.': "a.tar.gz" looks up ".tar.gz".
        if (auto registered =
                environment_.RegisteredContentType(std::string_view(name).substr(dot))) {
            contentType = *registered;
        }
    }
    if (!attachment.mimeType.empty())
        contentType = attachment.mimeType;

    std::string heading = "Content-Type: " + contentType;
    if (isTextType(contentType))
        heading += ";\r\n\tcharset=\"" + QuoteText(attachment.charset) + "\"";
    heading += ";\r\n\tname=\"" + QuoteText(name) + "\"\r\n";

    std::string body;
    std::string encodingName;
    EncodeContent(attachment.encoding, body, encodingName, data->data(), data->size(),
                  environment_);
    data.reset();

    heading += "Content-Transfer-Encoding: " + encodingName + "\r\n";
    heading += std::string("Content-Disposition: ") +
               (attachment.isInline ? "inline" : "attachment") + ";\r\n\tfilename=\"" +
               QuoteText(name) + "\"";
    if (!attachment.contentId.empty())
        heading += "\r\nContent-ID: <" + attachment.contentId + ">";
    if (!appendHeading(std::move(heading)))
        return false;
    out_ += "\r\n\r\n";
    out_ += body;
    return true;
}

bool checkField(std::string_view value, const char* what, std::string* problem) {
    if (!HasLineBreakOrNul(value))
        return true;
    if (problem)
        *problem = std::string(what) + " holds a line break or a zero byte";
    return false;
}

bool checkAddress(const CMailAddress& address, const char* what, std::string* problem) {
    return checkField(address.address, what, problem) &&
           checkField(address.displayName, what, problem);
}

// A header value may be folded (CR LF followed by a blank or TAB); no other CR, LF or NUL.
bool validHeaderValue(std::string_view value) {
    for (size_t i = 0; i < value.size(); ++i) {
        char c = value[i];
        if (c == '\0' || c == '\n')
            return false;
        if (c == '\r') {
            if (i + 2 >= value.size() || value[i + 1] != '\n')
                return false;
            if (value[i + 2] != ' ' && value[i + 2] != '\t')
                return false;
            i += 1;
        }
    }
    return true;
}

}  // namespace

bool ValidateMessage(const CMailMessage& message, std::string* problem) {
    if (!checkAddress(message.sender, "the sender", problem) ||
        !checkAddress(message.recipient, "the recipient", problem) ||
        !checkField(message.subject, "the subject", problem) ||
        !checkField(message.messageId, "the message id", problem)) {
        return false;
    }
    for (const auto& address : message.furtherRecipients) {
        if (!checkAddress(address, "a further recipient", problem))
            return false;
    }
    for (const auto& address : message.blindRecipients) {
        if (!checkAddress(address, "a blind recipient", problem))
            return false;
    }
    for (const auto& part : message.parts) {
        if (!checkField(part.contentType, "a part's content type", problem) ||
            !checkField(part.charset, "a part's charset", problem) ||
            !checkField(part.contentId, "a part's content id", problem)) {
            return false;
        }
    }
    for (const auto& attachment : message.attachments) {
        if (!checkField(attachment.mimeType, "an attachment's content type", problem) ||
            !checkField(attachment.charset, "an attachment's charset", problem) ||
            !checkField(attachment.contentId, "an attachment's content id", problem) ||
            !checkField(attachment.fileName, "an attachment's file name", problem) ||
            !checkField(attachment.alternativeName, "an attachment's name", problem)) {
            return false;
        }
    }
    const CMailHeaderList& headers = message.headers;
    for (size_t i = 0; i < headers.Count(); ++i) {
        const std::string& name = headers.Name(i);
        bool nameOk =
            !name.empty() && !HasLineBreakOrNul(name) && name.find(':') == std::string::npos;
        if (!nameOk || !validHeaderValue(headers.Value(i))) {
            if (problem)
                *problem = "the header \"" + name + "\" cannot be written safely";
            return false;
        }
    }
    return true;
}

bool SerializeMessage(CMailMessage& message, std::string& output) {
    output.clear();
    if (!ValidateMessage(message))
        return false;
    Renderer renderer(message, output);
    if (renderer.render())
        return true;
    output.clear();
    return false;
}

}  // namespace mail
