// A console reporter that also keeps each benchmark's real time per iteration, so that a
// benchmark's main can print ratios against a baseline measured in the same run.
#pragma once

#include <benchmark/benchmark.h>

#include <cstdio>
#include <map>
#include <string>
#include <vector>

class RatioReporter : public benchmark::ConsoleReporter {
  public:
    void ReportRuns(const std::vector<Run>& runs) override {
        for (const Run& run : runs) {
            if (run.run_type == Run::RT_Iteration && run.iterations > 0)
                seconds_[baseName(run.benchmark_name())] =
                    run.real_accumulated_time / static_cast<double>(run.iterations);
        }
        ConsoleReporter::ReportRuns(runs);
    }

    // Seconds of real time per iteration, by benchmark name without "/real_time".
    const std::map<std::string, double>& measured() const { return seconds_; }

    // Prints "<name> <us per iteration> <time ratio> x <baseline> (<us>)"; nothing when either
    // did not run.
    void printRatio(const std::string& name, const std::string& baseline) const {
        auto run = seconds_.find(name);
        auto base = seconds_.find(baseline);
        if (run == seconds_.end() || base == seconds_.end() || base->second <= 0)
            return;
        std::printf("%-36s %12.3f us %10.4f x %s (%.3f us)\n", name.c_str(), run->second * 1e6,
                    run->second / base->second, baseline.c_str(), base->second * 1e6);
    }

    // printRatio for every measured name that starts with `prefix`, other than the baseline.
    void printRatios(const std::string& baseline, const std::string& prefix = "") const {
        for (const auto& [name, seconds] : seconds_) {
            if (name != baseline && name.rfind(prefix, 0) == 0)
                printRatio(name, baseline);
        }
    }

  private:
    static std::string baseName(std::string name) {
        const std::string suffix = "/real_time";
        if (name.size() >= suffix.size() &&
            name.compare(name.size() - suffix.size(), suffix.size(), suffix) == 0)
            name.resize(name.size() - suffix.size());
        return name;
    }

    std::map<std::string, double> seconds_;
};
