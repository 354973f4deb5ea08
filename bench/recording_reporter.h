// recording_reporter.h -- Google Benchmark's console output, plus each benchmark's
// times kept by name ("BM_read_bmp/0", "BM_ReadRecords") so that a benchmark binary
// can print its rows (bench_support.h) after the runs. No colour codes, so that the
// rows that scripts/run-benchmarks greps start their lines.
#pragma once
#include <benchmark/benchmark.h>

#include <cmath>
#include <map>
#include <string>
#include <vector>

class RecordingReporter : public benchmark::ConsoleReporter {
public:
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

    // Real time per iteration in the benchmark's unit: the median when the runs are
    // repeated, else the one run; NaN when the benchmark did not run.
    double real_time(const std::string &name) const { return found(realTime, name); }
    // Best CPU time per iteration over the repetitions, in seconds, system time
    // included (steadier than wall time on a shared machine); NaN when it did not run.
    double best_cpu_seconds(const std::string &name) const { return found(bestCpuSeconds, name); }

private:
    std::map<std::string, double> realTime;         // by name, see real_time
    std::map<std::string, double> bestCpuSeconds;   // by name, see best_cpu_seconds
    std::map<std::string, bool>   medians;          // names whose median has been recorded

    static double found(const std::map<std::string, double> &times, const std::string &name)
    {
        auto time = times.find(name);
        return time == times.end() ? NAN : time->second;
    }
};

// Runs the benchmarks named on the command line (all by default) into reporter.
inline void run_recorded(int &argc, char **argv, RecordingReporter &reporter)
{
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks(&reporter);
    benchmark::Shutdown();
}
