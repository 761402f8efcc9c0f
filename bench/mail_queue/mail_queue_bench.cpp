// What QueueWarningMail costs the event thread when the mail server cannot be reached. The
// network is simulated: every connection attempt waits kAttemptTime and fails, as an unreachable
// host does (only much sooner). Measured in one run, in microseconds per call:
//   BM_DeliverOnCallingThread   baseline: one alert mail delivered on the calling thread (two
//                               attempts), i.e. what the event thread would pay if it waited;
//   BM_QueueWarningMail_Mail    every call is due and starts a mail on its own thread;
//   BM_QueueWarningMail_Collect every call only collects its line.
// The ratios printed at the end show that the event thread never waits for the network.
#include <benchmark/benchmark.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <map>
#include <memory>
#include <string>
#include <thread>

#include "alert/alert_mail.h"
#include "alert/mail_thread.h"
#include "ratio_reporter.h"

namespace {

using namespace std::chrono_literals;

constexpr auto kAttemptTime = 5ms;
constexpr char kLine[] =
    "10:15:02, Operation denied: Process EDIT.EXE tried to access file "
    "/srv/projects/quarterly/reports/2026/summary-final.txt.\r\n";

class UnreachableNetwork final : public platform::TcpConnector {
  public:
    std::unique_ptr<platform::TcpStream> connect(const std::string&, uint16_t) override {
        std::this_thread::sleep_for(kAttemptTime);
        return nullptr;
    }
};

std::atomic<long> gStarted{0};
std::atomic<long> gFinished{0};
std::string gProfile;

mail::MailThreadOptions delivery() {
    mail::MailThreadOptions options;
    options.smtp.connector = std::make_shared<UnreachableNetwork>();
    options.finished = [] { ++gFinished; };
    return options;
}

// A mailer whose clock moves `step` seconds per call.
std::unique_ptr<mail::AlertMailer> makeMailer(int64_t step) {
    auto now = std::make_shared<int64_t>(1'700'000'000);
    mail::AlertMailer::Options options;
    options.clock = [now, step] { return *now += step; };
    options.startMail = [](mail::MailJob job) {
        ++gStarted;
        return mail::StartMailThread(
            std::move(job.server), std::move(job.loginName), std::move(job.password),
            std::move(job.sender), std::move(job.recipient), std::move(job.subject),
            std::move(job.body), std::move(job.attachmentPath), std::move(job.options));
    };
    options.delivery = delivery();
    auto mailer = std::make_unique<mail::AlertMailer>(std::move(options));
    mailer->LoadSettings(gProfile);
    return mailer;
}

void BM_DeliverOnCallingThread(benchmark::State& state) {
    for (auto _ : state) {
        ++gStarted;
        mail::MailThreadProc(new mail::MailJob{"mail.example", "alice@example.com", "pw",
                                               "alice@example.com", "ops@example.com",
                                               mail::kAlertSubject, kLine, "", delivery()});
    }
}
BENCHMARK(BM_DeliverOnCallingThread)->Unit(benchmark::kMicrosecond)->UseRealTime();

void BM_QueueWarningMail_Mail(benchmark::State& state) {
    auto mailer = makeMailer(1200);  // every call finds the window run out
    for (auto _ : state)
        mailer->QueueLine(kLine);
}
BENCHMARK(BM_QueueWarningMail_Mail)->Unit(benchmark::kMicrosecond)->UseRealTime();

void BM_QueueWarningMail_Collect(benchmark::State& state) {
    // A first line of ten bytes or fewer starts collecting without a mail.
    constexpr char kShortFirstLine[] = "x\r\n";
    auto mailer = makeMailer(0);
    mailer->QueueLine(kShortFirstLine);
    long calls = 0;
    for (auto _ : state) {
        mailer->QueueLine(kLine);
        if (++calls % 400 == 0) {  // stay below the 64000-byte bound, where lines are dropped
            state.PauseTiming();
            mailer = makeMailer(0);
            mailer->QueueLine(kShortFirstLine);
            state.ResumeTiming();
        }
    }
}
BENCHMARK(BM_QueueWarningMail_Collect)->Unit(benchmark::kMicrosecond)->UseRealTime();

}  // namespace

int main(int argc, char** argv) {
    std::string dir = (std::filesystem::temp_directory_path() / "corvantis-mail-XXXXXX").string();
    if (!::mkdtemp(dir.data()))
        return 1;
    gProfile = dir + "/Corvantis.ini";
    std::ofstream(gProfile) << "[Advanced]\nMailLog=YES\nMailAddr=ops@example.com\n"
                               "MailServer=mail.example\nMailUser=alice@example.com\nMailPass=pw\n";

    benchmark::Initialize(&argc, argv);
    RatioReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    reporter.printRatios("BM_DeliverOnCallingThread");

    // Every sending thread ends before the process does.
    while (gFinished.load() < gStarted.load())
        std::this_thread::sleep_for(10ms);
    std::printf("%ld mails attempted, each with two connection attempts\n", gFinished.load());
    std::filesystem::remove_all(dir);
    return 0;
}
