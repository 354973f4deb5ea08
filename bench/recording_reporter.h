// recording_reporter.h -- Google Benchmark's console output, plus each benchmark's
// times kept by name ("BM_read_bmp/0", "BM_ReadRecords") so that a benchmark binary
// can print its RATIO lines after the runs. No colour codes, so that the RATIO lines
// that scripts/run-benchmarks greps start their lines.
#pragma once
#include <benchmark/benchmark.h>

#include <map>
#include <string>
#include <vector>

class RecordingReporter : public benchmark::ConsoleReporter {
public:
    // Real time per iteration in the benchmark's unit: the median when the runs are
    // repeated, else the one run.
    std::map<std::string, double> realTime;
    // Best CPU time per iteration over the repetitions, in seconds, system time
    // included: steadier than wall time on a shared machine.
    std::map<std::string, double> bestCpuSeconds;

    RecordingReporter() : ConsoleReporter(OO_Tabular) {}

    void ReportRuns(const std::vector<Run> &runs) override
    {
        for (const Run &run : runs) {
            if (run.error_occurred) continue;
            std::string name = run.run_name.function_name;
            if (!run.run_name.args.empty()) name += "/" + run.run_name.args;
            if (run.run_type == Run::RT_Aggregate) {
                if (run.aggregate_name == "median") realTime[name] = run.GetAdjustedRealTime(), medians[name] = true;
                continue;
            }
            if (!medians[name]) realTime[name] = run.GetAdjustedRealTime();
            if (run.iterations > 0) {
                double perIteration = run.cpu_accumulated_time / double(run.iterations);
                auto best = bestCpuSeconds.find(name);
                if (best == bestCpuSeconds.end() || perIteration < best->second) bestCpuSeconds[name] = perIteration;
            }
        }
        ConsoleReporter::ReportRuns(runs);
    }

    // "numerator / denominator" of two real times, or 0 when either is missing.
    double real_ratio(const std::string &numerator, const std::string &denominator) const
    {
        auto a = realTime.find(numerator), b = realTime.find(denominator);
        if (a == realTime.end() || b == realTime.end() || b->second <= 0) return 0;
        return a->second / b->second;
    }

private:
    std::map<std::string, bool> medians;   // names whose median has been recorded
};

// Runs the benchmarks named on the command line (all by default) into reporter.
inline void run_recorded(int &argc, char **argv, RecordingReporter &reporter)
{
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks(&reporter);
    benchmark::Shutdown();
}
