// A console reporter that also keeps each benchmark's time per iteration, so that main can print
// ratios against a baseline measured in the same run.
#pragma once

#include <benchmark/benchmark.h>

#include <cstdio>
#include <map>
#include <string>

class RatioReporter : public benchmark::ConsoleReporter {
  public:
    void ReportRuns(const std::vector<Run>& runs) override {
        for (const Run& run : runs) {
            if (run.run_type == Run::RT_Iteration)
                times_[run.benchmark_name()] = run.GetAdjustedRealTime();
        }
        ConsoleReporter::ReportRuns(runs);
    }
    // Prints "name: <time ratio> x baseline" for every measured name that starts with `prefix`.
    void printRatios(const std::string& baseline, const std::string& prefix) const {
        auto base = times_.find(baseline);
        if (base == times_.end() || base->second <= 0)
            return;
        for (const auto& [name, time] : times_) {
            if (name.rfind(prefix, 0) == 0 && name != baseline) {
                std::printf("%s: %.4f x %s\n", name.c_str(), time / base->second, baseline.c_str());
            }
        }
    }

  private:
    std::map<std::string, double> times_;
};
