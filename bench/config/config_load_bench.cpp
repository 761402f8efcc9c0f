// Loading section "protection" of 1000 items into the engine, with the fake driver on the other
// end of the device channel: the whole loadConfig (engine start, clear, 1000 adds, apply), against
// the same call on an empty section in the same run (engine start and clear alone).
#include <benchmark/benchmark.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

#include "fake_driver.h"
#include "ratio_reporter.h"
#include "service/config_loader.h"

namespace {

void writeIni(const std::string& path) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out << "[Advanced]\nDataAlert=YES\n\n[empty]\n\n[protection]\n";
    for (int i = 0; i < 1000; ++i) {
        out << "/home/user/documents/project-" << i << "/*=vi:less:cat:libreoffice:\n";
    }
}

void BM_LoadConfig_EmptySection(benchmark::State& state) {
    for (auto _ : state) {
        if (!service::loadConfig("empty"))
            state.SkipWithError("loadConfig failed");
    }
}
BENCHMARK(BM_LoadConfig_EmptySection)->Unit(benchmark::kMillisecond);

void BM_LoadConfig_1000Items(benchmark::State& state) {
    for (auto _ : state) {
        if (!service::loadConfig("protection"))
            state.SkipWithError("loadConfig failed");
    }
}
BENCHMARK(BM_LoadConfig_1000Items)->Unit(benchmark::kMillisecond);

}  // namespace

int main(int argc, char** argv) {
    std::string dir = (std::filesystem::temp_directory_path() / "corvantis-bench-XXXXXX").string();
    if (!::mkdtemp(dir.data()))
        return 1;
    ::setenv("CORVANTIS_PROGRAM_DIR", dir.c_str(), 1);
    writeIni(dir + "/Corvantis.ini");
    int result = 0;
    {
        fake::FakeDriver driver;
        driver.installAsDriverService(dir);
        benchmark::Initialize(&argc, argv);
        RatioReporter reporter;
        benchmark::RunSpecifiedBenchmarks(&reporter);
        reporter.printRatios("BM_LoadConfig_EmptySection", "BM_LoadConfig_");
        if (driver.items().size() != 1000) {
            std::fprintf(stderr, "the driver holds %zu items, not 1000\n", driver.items().size());
            result = 1;
        }
        benchmark::Shutdown();
    }
    std::filesystem::remove_all(dir);
    return result;
}
