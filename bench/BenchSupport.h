#pragma once
// What every benchmark here shares: process CPU time, the reporter that keeps each benchmark's
// median for the summary, and the summary line comparing a measured path with its bare baseline.
#include <benchmark/benchmark.h>

#include <cstdio>
#include <ctime>
#include <map>
#include <string>
#include <vector>

namespace bench {

inline double process_cpu_seconds()
{
    timespec t{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &t);
    return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_nsec) * 1e-9;
}

// Keeps the medians (real time) and the median "process_cpu_us" counters for the summary line.
class MedianReporter : public benchmark::ConsoleReporter {
public:
    void ReportRuns(const std::vector<Run>& runs) override
    {
        for (const auto& run : runs)
            if (run.run_type == Run::RT_Aggregate && run.aggregate_name == "median") {
                medians[run.run_name.function_name] = run.GetAdjustedRealTime();
                auto cpu = run.counters.find("process_cpu_us");
                if (cpu != run.counters.end())
                    cpuPerRequest[run.run_name.function_name] = cpu->second.value;
            }
        ConsoleReporter::ReportRuns(runs);
    }
    std::map<std::string, double> medians;
    std::map<std::string, double> cpuPerRequest;
};

// "median per request" against the bare baseline, in microseconds; nothing when either is missing.
inline void print_per_request(double bare, double framework, int targetUs)
{
    if (bare > 0 && framework > 0)
        std::printf("\nmedian per request: bare %.1f us, framework %.1f us, ratio %.2f, framework adds %.1f us "
                    "(target: at most %d us)\n",
                    bare, framework, framework / bare, framework - bare, targetUs);
}

// Runs the benchmarks registered in this program and prints the summary line of `framework`
// against `bare`; the reporter keeps every median for further lines.
inline void run_and_compare(int* argc, char** argv, MedianReporter& reporter, const char* bare, const char* framework,
                            int targetUs)
{
    benchmark::Initialize(argc, argv);
    benchmark::RunSpecifiedBenchmarks(&reporter);
    print_per_request(reporter.medians[bare], reporter.medians[framework], targetUs);
}

} // namespace bench
