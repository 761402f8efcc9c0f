// Delivery to a real SMTP server: Debian's aiosmtpd on 127.0.0.1 (smtp_test_server.py), which
// requires AUTH LOGIN before MAIL FROM. What it received is parsed with Python's email package
// and compared with what was sent.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "alert/alert_mail.h"
#include "alert_test_support.h"
#include "mime_sample_message.h"
#include "smtp/smtp_client.h"
#include "smtp_fake_peer.h"

namespace mail::test {
namespace {

using namespace std::chrono_literals;

constexpr char kUser[] = "alice@example.com";
constexpr char kPassword[] = "s3cret pass";

// The server process: started on a free port chosen beforehand, stopped by closing its input.
class RealSmtpServer {
  public:
    explicit RealSmtpServer(const std::filesystem::path& spool) : port_(freeLocalPort()) {
        int input[2], output[2];
        if (::pipe2(input, O_CLOEXEC) != 0 || ::pipe2(output, O_CLOEXEC) != 0)
            return;
        const std::string port = std::to_string(port_);
        pid_ = ::fork();
        if (pid_ == 0) {
            ::dup2(input[0], 0);
            ::dup2(output[1], 1);
            ::execl("/usr/bin/python3", "python3", MAIL_SMTP_SERVER_SCRIPT, port.c_str(),
                    spool.c_str(), kUser, kPassword, static_cast<char*>(nullptr));
            ::_exit(127);
        }
        ::close(input[0]);
        ::close(output[1]);
        stdin_ = input[1];
        stdout_ = output[0];
        ready_ = pid_ > 0 && waitForReady(30s);
    }
    ~RealSmtpServer() {
        if (stdin_ >= 0)
            ::close(stdin_);
        if (stdout_ >= 0)
            ::close(stdout_);
        if (pid_ <= 0)
            return;
        for (int i = 0; i < 500; ++i) {  // up to 5 s for a clean stop, then end it
            if (::waitpid(pid_, nullptr, WNOHANG) == pid_)
                return;
            std::this_thread::sleep_for(10ms);
        }
        ::kill(pid_, SIGKILL);
        ::waitpid(pid_, nullptr, 0);
    }

    bool ready() const { return ready_; }
    uint16_t port() const { return port_; }

  private:
    bool waitForReady(std::chrono::milliseconds limit) {
        std::string seen;
        auto deadline = std::chrono::steady_clock::now() + limit;
        while (seen.find("ready\n") == std::string::npos) {
            auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
                deadline - std::chrono::steady_clock::now());
            pollfd entry{stdout_, POLLIN, 0};
            if (left.count() <= 0 || ::poll(&entry, 1, static_cast<int>(left.count())) <= 0)
                return false;
            char buffer[256];
            ssize_t n = ::read(stdout_, buffer, sizeof(buffer));
            if (n <= 0)
                return false;
            seen.append(buffer, static_cast<size_t>(n));
        }
        return true;
    }

    uint16_t port_;
    pid_t pid_ = -1;
    int stdin_ = -1;
    int stdout_ = -1;
    bool ready_ = false;
};

// Waits for message `n` of the spool; its envelope lines (sender, then recipients).
std::vector<std::string> waitForMessage(const std::filesystem::path& spool, int n) {
    const auto envelope = spool / (std::to_string(n) + ".env");
    for (int i = 0; i < 1500 && !std::filesystem::exists(envelope); ++i)
        std::this_thread::sleep_for(10ms);
    std::vector<std::string> lines;
    std::istringstream text(readWholeFile(envelope));
    for (std::string line; std::getline(text, line);)
        lines.push_back(line);
    return lines;
}

std::string hex(const std::string& bytes) {
    static constexpr char kDigits[] = "0123456789abcdef";
    std::string out;
    for (unsigned char c : bytes) {
        out += kDigits[c >> 4];
        out += kDigits[c & 15];
    }
    return out;
}

std::string alertExpectation(const std::string& body, const char* charset) {
    return std::string("{\"from\": [\"") + kUser + "\", \"" + kUser +
           "\"], \"to\": [[\"ops@example.com\", \"ops@example.com\"]],"
           " \"subject\": \"Corvantis warning message\", \"content_type\": \"text/plain\","
           " \"parts\": [{\"content_type\": \"text/plain\", \"charset\": \"" +
           charset +
           "\", \"encoding\": \"quoted-printable\", \"disposition\": null, \"body_hex\": \"" +
           hex(body) + "\", \"text\": false}]}";
}

class RealServerTest : public ::testing::Test {
  protected:
    void SetUp() override {
        std::filesystem::create_directory(spool());
        // The port is free when chosen but could be taken before the server binds it: retry.
        for (int attempt = 0; attempt < 3 && !(server_ && server_->ready()); ++attempt) {
            server_.reset();
            server_ = std::make_unique<RealSmtpServer>(spool());
        }
        ASSERT_TRUE(server_->ready())
            << "the SMTP test server did not start: /usr/bin/python3 with python3-aiosmtpd is "
               "needed (scripts/install-deps installs it)";
    }
    std::filesystem::path spool() const { return folder_.path() / "spool"; }
    SmtpOptions smtpOptions() const {
        SmtpOptions options;
        options.port = server_->port();
        options.replyTimeout = 10s;
        return options;
    }

    TempDir folder_;
    std::unique_ptr<RealSmtpServer> server_;
};

TEST_F(RealServerTest, AlertMailsAreDeliveredAfterLogin) {
    int64_t now = 1'700'000'000;
    AlertMailer mailer(AlertMailer::Options{[&now] { return now; }, 1200s, nullptr,
                                            MailThreadOptions{smtpOptions(), nullptr}});
    writeWholeFile(folder_.path() / "Corvantis.ini",
                   mailProfile("127.0.0.1", kUser, kPassword, "ops@example.com"));
    ASSERT_TRUE(mailer.LoadSettings(folder_.path() / "Corvantis.ini"));

    // The first line goes out at once; the next two after the window ran out. The second mail
    // names a file in UTF-8, a line starting with a dot, and lines longer than 76 characters.
    const std::string first =
        "10:15:02, Operation denied: Process EDIT.EXE tried to access file "
        "/srv/projects/quarterly/reports/2026/summary-final.txt.\r\n";
    const std::string second =
        "10:20:00, Operation allowed: Process cp tried to access file /home/zo\xc3\xab/"
        "R\xc3\xa9sum\xc3\xa9 f\xc3\xbcr M\xc3\xbcnchen.odt.\r\n";
    const std::string third = ".35:00, Operation denied: Process rm tried to access file /a=b.\r\n";
    mailer.QueueLine(first);
    EXPECT_EQ(waitForMessage(spool(), 1), (std::vector<std::string>{kUser, "ops@example.com"}));
    now += 300;
    mailer.QueueLine(second);
    now += 900;
    mailer.QueueLine(third);
    EXPECT_EQ(waitForMessage(spool(), 2), (std::vector<std::string>{kUser, "ops@example.com"}));

    EXPECT_EQ(mailtest::CheckMimeMessage(readWholeFile(spool() / "1.eml"),
                                         alertExpectation(kFirstOpening + first, "iso-8859-1"),
                                         false, folder_.path()),
              "");
    EXPECT_EQ(mailtest::CheckMimeMessage(readWholeFile(spool() / "2.eml"),
                                         alertExpectation(kLaterOpening + second + third, "utf-8"),
                                         false, folder_.path()),
              "");
}

TEST_F(RealServerTest, MessageWithSeveralPartsAndAttachmentsIsDelivered) {
    mailtest::SampleMessage sample = mailtest::BuildSampleMessage(folder_.path());
    CSmtp smtp(smtpOptions());
    smtp.SetLogin(kUser, kPassword);
    ASSERT_TRUE(smtp.Connect("127.0.0.1"));
    EXPECT_TRUE(smtp.IsExtended());
    EXPECT_EQ(smtp.SendMail(sample.message), 0) << smtp.LastReply();
    smtp.Close();

    std::vector<std::string> envelope{sample.message.sender.address};
    envelope.insert(envelope.end(), sample.envelopeRecipients.begin(),
                    sample.envelopeRecipients.end());
    EXPECT_EQ(waitForMessage(spool(), 1), envelope);
    EXPECT_EQ(mailtest::CheckMimeMessage(readWholeFile(spool() / "1.eml"), sample.expectationJson,
                                         false, folder_.path()),
              "");
}

TEST_F(RealServerTest, WithoutLoginTheServerRefusesTheSender) {
    mailtest::SampleMessage sample = mailtest::BuildSampleMessage(folder_.path());
    CSmtp smtp(smtpOptions());
    ASSERT_TRUE(smtp.Connect("127.0.0.1"));
    EXPECT_EQ(smtp.SendMail(sample.message), 530);
    smtp.SetLogin(kUser, "wrong password");
    EXPECT_EQ(smtp.Authenticate(), 535);
    smtp.Close();
    EXPECT_FALSE(std::filesystem::exists(spool() / "1.env"));
}

}  // namespace
}  // namespace mail::test
