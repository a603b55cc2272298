// A console reporter that also keeps each benchmark's CPU time per iteration, for the tables of speed-ups the
// benchmark programs print after their runs.
#pragma once
#include <benchmark/benchmark.h>

#include <functional>
#include <map>
#include <string>
#include <vector>

#include "brask/gfx.h"

class TableReporter : public benchmark::ConsoleReporter {
   public:
    std::map<std::string, double> times;
    void ReportRuns(const std::vector<Run>& runs) override {
        // With repetitions the median stands for the benchmark: one noisy repetition on a shared machine
        // should not decide a speed-up.
        // Keyed by the name as registered: options such as repetitions add suffixes to the full run name.
        for (const Run& r : runs) {
            if (r.run_type != Run::RT_Aggregate)
                times[r.run_name.function_name] = r.GetAdjustedCPUTime();
            else if (r.aggregate_name == "median")
                times[r.run_name.function_name] = r.GetAdjustedCPUTime();
        }
        ConsoleReporter::ReportRuns(runs);
    }
};

// Registers one timed operation: the median of 5 repetitions, in microseconds. `baseline` times it with the
// engine forced onto its baseline loops, which is how the tables show what the processor's path adds.
inline void benchTimed(const std::string& name, std::function<void()> fn, bool baseline = false) {
    benchmark::RegisterBenchmark(name.c_str(),
                                 [fn, baseline](benchmark::State& st) {
                                     const int32_t was = gfxForceBaseline(baseline);
                                     for (auto _ : st) fn();
                                     gfxForceBaseline(was);
                                 })
        ->Unit(benchmark::kMicrosecond)
        ->Repetitions(5)
        ->ReportAggregatesOnly(true)
        ->MinTime(0.1);
}
