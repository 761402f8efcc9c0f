// Reading one "Advanced" value from a file of 1000 protected items, as the engine does for every
// warning line: through the identity cache, against a read that parses the file every time.
#include <benchmark/benchmark.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

#include "config/profile_document.h"
#include "config/profile_file.h"
#include "platform/file_store.h"
#include "ratio_reporter.h"

namespace {

std::string gIniPath;

void writeThousandItemFile(const std::string& path) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out << "[protection]\n";
    for (int i = 0; i < 1000; ++i) {
        out << "/HOME/USER/DOCUMENTS/PROJECT-" << i << "/*=VI:LESS:CAT:LIBREOFFICE:\n";
    }
    out << "\n[VI]\nProcPath=/usr/bin/vi\nProcDesc=editor\n";
    out << "\n[Advanced]\nDataAlert=YES\nLogPath=/var/log/corvantis\nMailLog=YES\n";
}

void BM_AdvancedValue_Uncached(benchmark::State& state) {
    for (auto _ : state) {
        auto snapshot = platform::readFileSnapshot(gIniPath);
        auto doc = config::ProfileDocument::parse(snapshot.content);
        std::string value(doc.value("Advanced", "MailLog").value_or("").substr(0, 255));
        benchmark::DoNotOptimize(value);
    }
}
BENCHMARK(BM_AdvancedValue_Uncached);

void BM_AdvancedValue_Cached(benchmark::State& state) {
    for (auto _ : state) {
        std::string value = config::readProfileString(gIniPath, "Advanced", "MailLog", "", 255);
        benchmark::DoNotOptimize(value);
    }
}
BENCHMARK(BM_AdvancedValue_Cached);

}  // namespace

int main(int argc, char** argv) {
    std::string dir = (std::filesystem::temp_directory_path() / "corvantis-bench-XXXXXX").string();
    if (!::mkdtemp(dir.data()))
        return 1;
    gIniPath = dir + "/Corvantis.ini";
    writeThousandItemFile(gIniPath);

    benchmark::Initialize(&argc, argv);
    RatioReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    reporter.printRatios("BM_AdvancedValue_Uncached", "BM_AdvancedValue_");
    benchmark::Shutdown();
    std::filesystem::remove_all(dir);
    return 0;
}
