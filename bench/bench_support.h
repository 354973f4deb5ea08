// bench_support.h -- what every benchmark shares: its rows for the final table, the
// median of repeated runs, runs of two or more variants in alternation, and a program
// timed as a whole process, as a user starts it.
//
// Rows. Each benchmark prints its results as lines that scripts/run-benchmarks gathers
// into one table and checks:
//     RATIO | what | MEASURED UNIT | TARGET
// TARGET is a comparison, a number and the measured unit ("<= 1.5 x", "< 30 ms",
// ">= 100 x"): the script marks the row when the measured number does not meet it, or
// when the measurement failed (MEASURED reads "not measured"; a failed measurement is
// NaN here). A figure without a target shows "(report)" there and is never marked. A row
// with a target is one line:
//     print_row("read_records of 300 ZIPs / plain read of their files", ratio(ours, plain), "x", "<= 1.5");
// and one without:
//     print_row("compute_values, 300 ZIPs, per call", microseconds, "us");
// "what" must not hold " | ", the column separator.
#pragma once
#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <functional>
#include <string>
#include <vector>

extern char **environ;

using BenchClock = std::chrono::steady_clock;

// The number on the rows: three significant digits, never an exponent.
inline void print_row(const std::string &what, double measured, const char *unit, const char *target = nullptr)
{
    if (std::isnan(measured)) {
        std::printf("RATIO | %s | not measured | ", what.c_str());
    } else {
        const double size = std::fabs(measured);
        const int decimals = size > 0 ? std::clamp(2 - int(std::floor(std::log10(size))), 0, 4) : 2;
        std::printf("RATIO | %s | %.*f %s | ", what.c_str(), decimals, measured, unit);
    }
    if (target) std::printf("%s %s\n", target, unit);
    else std::printf("(report)\n");
    std::fflush(stdout);   // the rows keep their place among a child's lines
}

// numerator / denominator of two measurements; NaN unless both are positive numbers.
inline double ratio(double numerator, double denominator)
{
    return numerator > 0 && denominator > 0 ? numerator / denominator : NAN;
}

// The median of the runs that measured something (failed runs are NaN); NaN when none did.
inline double median(std::vector<double> runs)
{
    runs.erase(std::remove_if(runs.begin(), runs.end(), [](double v) { return std::isnan(v); }), runs.end());
    if (runs.empty()) return NAN;
    std::sort(runs.begin(), runs.end());
    return runs[runs.size() / 2];
}

inline double elapsed_ms(BenchClock::time_point since)
{
    return std::chrono::duration<double, std::milli>(BenchClock::now() - since).count();
}

// Runs every variant `rounds` times, one of each a round, each round starting one
// variant further on, so that no variant always follows the same other one (a cache
// warmed or a disk busied by it). Returns each variant's measurements, in the order
// the variants are given.
inline std::vector<std::vector<double>> alternate(int rounds, const std::vector<std::function<double()>> &variants)
{
    std::vector<std::vector<double>> runs(variants.size());
    for (int round = 0; round < rounds; ++round)
        for (size_t k = 0; k < variants.size(); ++k) {
            const size_t v = (size_t(round) + k) % variants.size();
            runs[v].push_back(variants[v]());
        }
    return runs;
}

// Wall-clock ms of one run of a program (command[0] is its path), from its start to its
// exit, in the current folder with this process's environment; both its streams go to
// the file log. NaN when it could not start or did not exit with 0: then its log is
// shown on standard error.
inline double process_ms(const std::vector<std::string> &command, const std::string &log)
{
    std::vector<char *> argv;
    for (const std::string &word : command) argv.push_back(const_cast<char *>(word.c_str()));
    argv.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 1, log.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    posix_spawn_file_actions_adddup2(&actions, 1, 2);
    pid_t pid;
    const BenchClock::time_point start = BenchClock::now();
    const int spawned = posix_spawn(&pid, argv[0], &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    int status = 0;
    if (spawned != 0 || waitpid(pid, &status, 0) != pid) {
        std::fprintf(stderr, "bench: %s could not be started\n", command[0].c_str());
        return NAN;
    }
    const double ms = elapsed_ms(start);
    if (WIFEXITED(status) && WEXITSTATUS(status) == 0) return ms;
    if (WIFEXITED(status)) std::fprintf(stderr, "bench: %s exited with %d:\n", command[0].c_str(), WEXITSTATUS(status));
    else std::fprintf(stderr, "bench: %s ended by signal %d:\n", command[0].c_str(), WTERMSIG(status));
    if (FILE *output = std::fopen(log.c_str(), "r")) {
        char line[512];
        while (std::fgets(line, sizeof line, output)) std::fputs(line, stderr);
        std::fclose(output);
    }
    return NAN;
}
