#pragma once
// What every benchmark here shares: process CPU time, failing a benchmark, the reporter that keeps
// each benchmark's figures, and the summary lines comparing a measured path with its bare baseline.
//
// A benchmark whose work failed gets no figure: the reporter shows its failure in place of its
// times, no summary line uses it, and the program exits non-zero. A benchmark that fails in one
// repetition of several has failed: the others' median would otherwise still be its figure.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <cstdio>
#include <ctime>
#include <sys/resource.h>
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

// Times any thread of the process went to sleep to wait for another so far: each hand-over of
// work between threads costs one. Unlike CPU time, the count hardly depends on the machine's load.
inline double process_sleeps()
{
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return static_cast<double>(usage.ru_nvcsw);
}

// Why the benchmark now running failed (empty while it has not), until the reporter files it
// under the benchmark's name: the benchmarks of a program run one after another, and the next
// runs the reporter is given are that benchmark's.
inline std::string& unfiled_failure()
{
    static std::string why;
    return why;
}

// Whether the benchmark now running failed, in this repetition or an earlier one.
inline bool failed() { return !unfiled_failure().empty(); }

// Marks the benchmark now running as failed; the first reason is kept. Its loop must go on,
// without the work: the library's statistics over repetitions break on a run that ends early or
// is skipped (the statistics of a skipped first repetition are never set up). The reporter shows
// the failure in place of the figures.
inline void fail(const std::string& why)
{
    if (unfiled_failure().empty())
        unfiled_failure() = why.empty() ? "failed" : why;
}

// Runs a benchmark's loop without work: for a benchmark that failed before its loop.
inline void skip_loop(benchmark::State& state)
{
    for (auto _ : state) {
    }
}

// Process CPU time and sleeps of a benchmark's run, from construction (or a resume) to a pause.
class CpuMeter {
public:
    CpuMeter() { resume(); }
    void resume()
    {
        m_cpuStart = process_cpu_seconds();
        m_sleepsStart = process_sleeps();
    }
    void pause()
    {
        m_cpu += process_cpu_seconds() - m_cpuStart;
        m_sleeps += process_sleeps() - m_sleepsStart;
    }
    // Pauses, then sets the counters "process_cpu_us" (CPU microseconds of the whole process) and
    // "sleeps" (process_sleeps), both per iteration.
    void report(benchmark::State& state)
    {
        pause();
        // Every run carries the same counters, also one that failed: the library's statistics
        // over repetitions expect it.
        const double iterations = std::max(static_cast<double>(state.iterations()), 1.0);
        state.counters["process_cpu_us"] = benchmark::Counter(m_cpu * 1e6 / iterations);
        state.counters["sleeps"] = benchmark::Counter(m_sleeps / iterations);
    }

private:
    double m_cpuStart = 0;
    double m_sleepsStart = 0;
    double m_cpu = 0;
    double m_sleeps = 0;
};

// The figures of one benchmark that succeeded: its median (or only) run.
struct Figures {
    double wallUs = 0;  // real time per iteration, in microseconds
    std::map<std::string, double> counters;
    double counter(const std::string& name) const
    {
        auto it = counters.find(name);
        return it == counters.end() ? -1.0 : it->second;
    }
    // The same per unit of work, when an iteration does `units` of it.
    Figures perUnit(double units) const
    {
        Figures f = *this;
        f.wallUs /= units;
        for (auto& counter : f.counters)
            counter.second /= units;
        return f;
    }
};

// Keeps the figures of each benchmark (by function name, plus "/args" when it has arguments) and
// shows a failed benchmark as failed, without times.
class Reporter : public benchmark::ConsoleReporter {
public:
    void ReportRuns(const std::vector<Run>& runs) override
    {
        if (runs.empty())
            return;
        const std::string name = key(runs.front());
        std::vector<std::string>& failures = m_failures[name];
        if (failed())
            failures.push_back(unfiled_failure());
        unfiled_failure().clear();
        for (const auto& run : runs)
            if (run.error_occurred && failures.empty())
                failures.push_back(run.error_message);
        if (!failures.empty()) {
            m_figures.erase(name);
            if (m_shownFailed.insert({name, true}).second) {
                Run failed = runs.front();
                failed.run_type = Run::RT_Iteration;
                failed.aggregate_name.clear();
                failed.error_occurred = true;
                failed.error_message = failures.front();
                ConsoleReporter::ReportRuns({failed});
            }
            return;
        }
        const Run* chosen = nullptr;
        for (const auto& run : runs)
            if (run.run_type == Run::RT_Aggregate && run.aggregate_name == "median")
                chosen = &run;
        if (!chosen && runs.size() == 1 && runs.front().run_type == Run::RT_Iteration)
            chosen = &runs.front();
        if (chosen) {
            Figures f;
            f.wallUs = chosen->GetAdjustedRealTime() * to_microseconds(chosen->time_unit);
            for (const auto& counter : chosen->counters)
                f.counters[counter.first] = counter.second.value;
            m_figures[name] = f;
        }
        ConsoleReporter::ReportRuns(runs);
    }

    // The figures of a benchmark, or null when it failed or did not run.
    const Figures* figures(const std::string& name) const
    {
        auto it = m_figures.find(name);
        return it == m_figures.end() ? nullptr : &it->second;
    }

    // True when every named benchmark has figures; otherwise says which have none, and why.
    bool have(const std::vector<std::string>& names, const char* what) const
    {
        bool all = true;
        for (const auto& name : names) {
            if (figures(name))
                continue;
            all = false;
            auto failed = m_failures.find(name);
            if (failed != m_failures.end() && !failed->second.empty())
                std::printf("\nno %s: %s failed (%s)\n", what, name.c_str(), failed->second.front().c_str());
            else
                std::printf("\nno %s: %s did not run\n", what, name.c_str());
        }
        return all;
    }

    bool anyFailed() const
    {
        for (const auto& entry : m_failures)
            if (!entry.second.empty())
                return true;
        return false;
    }

    // The program's exit code: non-zero when any benchmark failed.
    int exitCode() const
    {
        if (!anyFailed())
            return 0;
        std::printf("\nFAILED:");
        for (const auto& entry : m_failures)
            if (!entry.second.empty())
                std::printf(" %s (%s)", entry.first.c_str(), entry.second.front().c_str());
        std::printf("\n");
        return 1;
    }

private:
    static std::string key(const Run& run)
    {
        const auto& name = run.run_name;
        return name.args.empty() ? name.function_name : name.function_name + "/" + name.args;
    }
    static double to_microseconds(benchmark::TimeUnit unit)
    {
        switch (unit) {
        case benchmark::kNanosecond:
            return 1e-3;
        case benchmark::kMicrosecond:
            return 1.0;
        case benchmark::kMillisecond:
            return 1e3;
        default:
            return 1e6;
        }
    }

    std::map<std::string, Figures> m_figures;
    std::map<std::string, std::vector<std::string>> m_failures;
    std::map<std::string, bool> m_shownFailed;
};

// The summary: wall-time medians, process CPU and sleeps per unit (request, packet) of the bare
// baseline and of the measured path, with what the measured path adds. Wall times swing with the
// machine's load; the CPU figures are the steadier ones on a shared machine.
inline void print_comparison(const char* unit, const char* measured, const Figures& bare, const Figures& path,
                             int targetUs)
{
    const double bareWall = bare.wallUs;
    const double wall = path.wallUs;
    const double bareCpu = bare.counter("process_cpu_us");
    const double cpu = path.counter("process_cpu_us");
    const double bareSleeps = bare.counter("sleeps");
    const double sleeps = path.counter("sleeps");
    std::printf("\nper %s (wall: median; CPU: process CPU time of all threads; sleeps: threads that waited for another):\n"
                "  bare        %8.1f us wall  %8.1f us CPU  %5.2f sleeps\n"
                "  %-11s %8.1f us wall  %8.1f us CPU  %5.2f sleeps\n"
                "  added       %8.1f us wall  %8.1f us CPU  %5.2f sleeps  (target: at most %d us)\n",
                unit, bareWall, bareCpu, bareSleeps, measured, wall, cpu, sleeps, wall - bareWall, cpu - bareCpu,
                sleeps - bareSleeps, targetUs);
}

// Parses the arguments, runs the benchmarks registered in this program and prints the summary of
// `measured` against `bare`, per request. Returns the program's exit code.
inline int run_and_compare(int* argc, char** argv, Reporter& reporter, const char* bare, const char* measured,
                           const char* label, int targetUs)
{
    benchmark::Initialize(argc, argv);
    if (benchmark::ReportUnrecognizedArguments(*argc, argv))
        return 2;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    if (reporter.have({bare, measured}, "comparison")) {
        const Figures& b = *reporter.figures(bare);
        const Figures& m = *reporter.figures(measured);
        print_comparison("request", label, b, m, targetUs);
    }
    return 0;
}

} // namespace bench
