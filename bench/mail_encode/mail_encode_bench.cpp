// Encoding 16 MiB as a mail body: our base64 and quoted-printable against the system's
// `base64 -w 76` (same input, output thrown away), timed in the same run. Prints MB/s for each
// and the ratio to the baseline (above 1 means faster than the baseline).
#include <benchmark/benchmark.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <random>
#include <string>

#include "mime/base64_coder.h"
#include "mime/content_encoders.h"
#include "mime/mail_environment.h"
#include "ratio_reporter.h"

namespace {

constexpr size_t kSize = 16u << 20;
constexpr const char* kBaseline = "BM_SystemBase64_w76";

std::string gBinary;  // random bytes: an attachment that goes base64
std::string gText;    // text with long lines and some bytes to escape: goes quoted-printable
std::string gBinaryFile;

// Like the system environment, but without debugger output in the timed loop.
class QuietEnvironment final : public mail::MailEnvironment {
  public:
    platform::LocalTimeReading LocalTime() const override { return {}; }
    uint32_t TickCount() const override { return 0; }
    std::optional<std::string> RegisteredContentType(std::string_view) const override { return {}; }
    void DebugOutput(std::string_view) const override {}
};
const QuietEnvironment kQuiet;

void BM_SystemBase64_w76(benchmark::State& state) {
    std::string command = "base64 -w 76 < '" + gBinaryFile + "' > /dev/null";
    for (auto _ : state) {
        if (std::system(command.c_str()) != 0)
            state.SkipWithError("base64 failed");
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * kSize));
}
BENCHMARK(BM_SystemBase64_w76)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_Base64_EncodeContent(benchmark::State& state) {
    for (auto _ : state) {
        std::string body, name;
        mail::EncodeContent(mail::MailEncoding::Base64, body, name, gBinary.data(), gBinary.size(),
                            kQuiet);
        benchmark::DoNotOptimize(body.data());
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * kSize));
}
BENCHMARK(BM_Base64_EncodeContent)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_Base64_CoderOnly(benchmark::State& state) {
    mail::CBase64Coder coder;
    for (auto _ : state) {
        coder.Encode(gBinary.data(), gBinary.size());
        benchmark::DoNotOptimize(coder.EncodedData());
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * kSize));
}
BENCHMARK(BM_Base64_CoderOnly)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_QuotedPrintable_EncodeContent(benchmark::State& state) {
    for (auto _ : state) {
        std::string body, name;
        mail::EncodeContent(mail::MailEncoding::QuotedPrintable, body, name, gText.data(),
                            gText.size(), kQuiet);
        benchmark::DoNotOptimize(body.data());
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * kSize));
}
BENCHMARK(BM_QuotedPrintable_EncodeContent)->Unit(benchmark::kMillisecond)->UseRealTime();

// The MB/s of every run and its speed against the baseline (above 1 means faster).
void printSpeeds(const RatioReporter& reporter) {
    auto baseline = reporter.measured().find(kBaseline);
    if (baseline == reporter.measured().end())
        return;
    std::printf("\n%-40s %10s %12s\n", "16 MiB encoded by", "MB/s", "vs baseline");
    for (const auto& [name, seconds] : reporter.measured()) {
        std::printf("%-40s %10.1f %11.2fx\n", name.c_str(), kSize / 1e6 / seconds,
                    baseline->second / seconds);
    }
}

}  // namespace

int main(int argc, char** argv) {
    std::mt19937 random(76);
    gBinary.resize(kSize);
    for (char& c : gBinary)
        c = static_cast<char>(random() & 0xFF);
    gText.reserve(kSize);
    while (gText.size() < kSize) {
        unsigned r = random() % 100;
        gText += r < 2 ? "\r\n" : r < 5 ? "=" : r < 8 ? "\xE9" : r < 20 ? " " : "x";
    }
    gText.resize(kSize);

    std::string dir = (std::filesystem::temp_directory_path() / "corvantis-bench-XXXXXX").string();
    if (!::mkdtemp(dir.data()))
        return 1;
    gBinaryFile = dir + "/binary.dat";
    std::ofstream(gBinaryFile, std::ios::binary).write(gBinary.data(), kSize);

    benchmark::Initialize(&argc, argv);
    RatioReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    printSpeeds(reporter);
    benchmark::Shutdown();
    std::filesystem::remove_all(dir);
    return 0;
}
