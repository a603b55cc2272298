// A console reporter that also keeps each benchmark's CPU time per iteration, for the tables of speed-ups the
// benchmark programs print after their runs.
#pragma once
#include <benchmark/benchmark.h>

#include <map>
#include <string>
#include <vector>

class TableReporter : public benchmark::ConsoleReporter {
   public:
    std::map<std::string, double> times;
    void ReportRuns(const std::vector<Run>& runs) override {
        // With repetitions the median stands for the benchmark: on a shared machine it shrugs off the
        // repetitions that another process slowed down.
        for (const Run& r : runs) {
            if (r.run_type != Run::RT_Aggregate)
                times[r.benchmark_name()] = r.GetAdjustedCPUTime();
            else if (r.aggregate_name == "median")
                times[r.run_name.str()] = r.GetAdjustedCPUTime();
        }
        ConsoleReporter::ReportRuns(runs);
    }
};
