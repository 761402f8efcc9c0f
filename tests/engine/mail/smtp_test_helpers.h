// Helpers shared by the SMTP client tests: a client that records its hooks, options aimed at
// a scripted peer, and connectors that record or refuse.
#pragma once

#include <atomic>
#include <chrono>
#include <memory>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "mime/base64_coder.h"
#include "platform/tcp_client.h"
#include "smtp/smtp_client.h"
#include "smtp_fake_peer.h"

namespace mail::test {

inline std::string base64(std::string_view text) {
    CBase64Coder coder;
    coder.Encode(text.data(), text.size());
    return coder.EncodedData();
}

inline SmtpOptions optionsFor(const ScriptedSmtpPeer& peer,
                              std::chrono::milliseconds timeout = std::chrono::seconds(5)) {
    SmtpOptions options;
    options.port = peer.port();
    options.replyTimeout = timeout;
    options.helloName = "tester.example";
    return options;
}

// Records what reaches the hooks; OnSendProgress answers `allowProgress`.
class RecordingSmtp : public CSmtp {
  public:
    using CSmtp::CSmtp;
    int OnError(int code, const char*) override {
        errors.push_back(code);
        return 0;
    }
    int OnReplyNotice(int code, const char*) override {
        notices.push_back(code);
        return 0;
    }
    void OnReply(const char*, int code, const char* text) override {
        replies.emplace_back(code, text);
    }
    bool OnSendProgress(const char*, size_t sent, size_t total) override {
        progress.emplace_back(sent, total);
        return allowProgress;
    }

    std::vector<int> errors;
    std::vector<int> notices;
    std::vector<std::pair<int, std::string>> replies;
    std::vector<std::pair<size_t, size_t>> progress;
    bool allowProgress = true;
};

// The system's connector, with every sendAll size written down.
class RecordingConnector : public platform::TcpConnector {
  public:
    std::unique_ptr<platform::TcpStream> connect(const std::string& host, uint16_t port) override {
        auto inner = platform::systemTcpConnector()->connect(host, port);
        if (!inner)
            return nullptr;
        return std::make_unique<Stream>(std::move(inner), sends);
    }
    std::shared_ptr<std::vector<size_t>> sends = std::make_shared<std::vector<size_t>>();

  private:
    class Stream : public platform::TcpStream {
      public:
        Stream(std::unique_ptr<platform::TcpStream> inner,
               std::shared_ptr<std::vector<size_t>> sends)
            : inner_(std::move(inner)), sends_(std::move(sends)) {}
        Wait waitReadable(std::chrono::milliseconds limit) override {
            return inner_->waitReadable(limit);
        }
        long receive(char* buffer, size_t size) override { return inner_->receive(buffer, size); }
        bool sendAll(const char* data, size_t size, std::chrono::milliseconds limit) override {
            sends_->push_back(size);
            return inner_->sendAll(data, size, limit);
        }
        void shutdownBoth() override { inner_->shutdownBoth(); }

      private:
        std::unique_ptr<platform::TcpStream> inner_;
        std::shared_ptr<std::vector<size_t>> sends_;
    };
};

// A network where nothing can be reached: every attempt is counted and fails.
class UnreachableConnector : public platform::TcpConnector {
  public:
    std::unique_ptr<platform::TcpStream> connect(const std::string&, uint16_t) override {
        ++attempts;
        return nullptr;
    }
    std::atomic<int> attempts{0};
};

}  // namespace mail::test
