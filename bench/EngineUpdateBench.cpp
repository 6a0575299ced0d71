// Cost of the engine per kilobyte of a receiver update: a 48 KB image through QV_StartDFU into a
// simulated plain bootloader, against a bare baseline in the same run (one 33-byte write and read
// per 16-byte record to the same kind of bootloader). With a bootloader answering after 1 ms, the
// process's CPU time stays far below the wall time: nothing spins while waiting.

#include "BenchSupport.h"
#include "engine/EngineTestSupport.h"
#include "engine/ImageFiles.h"

#include "devices/SimHidBootloader.h"
#include "devices/SimHidReceiver.h"

#include <benchmark/benchmark.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <memory>
#include <string>

namespace {

using namespace enginetest;
using namespace platform::sim;

constexpr std::size_t kImageSize = 48 * 1024;
constexpr char kImagePath[] = "C:\\Temp\\bench.hex";

// This machine's other load only ever adds time: the least CPU of the iterations is the measure.
double least(double a, double b)
{
    return a < 0 ? b : std::min(a, b);
}

// Notes the process's CPU time when the update starts writing and when it finishes.
class BenchLog : public EventLog {
public:
    void add(const Event& e) override
    {
        if (e.event == QV_EVENT_DFU_MILESTONE && e.value == 1)
            m_writeStart = bench::process_cpu_seconds();
        if (e.event == QV_EVENT_DFU_MILESTONE && e.value == 8)
            m_writing += bench::process_cpu_seconds() - m_writeStart;
        // Nothing here waits for progress: keeping them would wake the waiting thread at each one.
        if (e.event != QV_EVENT_DFU_PROGRESS)
            EventLog::add(e);
    }
    double take_writing()
    {
        const double w = m_writing;
        m_writing = 0;
        return w;
    }

private:
    double m_writeStart = 0;
    double m_writing = 0;  // both touched under the engine's event lock only
};

// One engine for the process; every update restarts the receiver, which returns under a new handle.
struct EngineRig {
    BenchLog log;
    std::unique_ptr<EngineHost> host;
    std::unique_ptr<SimHidReceiver> rx;

    EngineRig()
    {
        reset_machine();
        rx = std::make_unique<SimHidReceiver>(0xC510, 0x42);
        rx->receiver().set_latency(std::chrono::milliseconds(2));
        rx->set_switch_delays(std::chrono::milliseconds(1), std::chrono::milliseconds(1));
        rx->plug();
        host = std::make_unique<EngineHost>(log);
        log.wait_count(QV_EVENT_ENUMERATION_COMPLETE, 1);
        write_file(kImagePath, hex_text(make_image(kImageSize)));
        // One update before measuring: the first one builds what later ones reuse.
        ready = update();
        log.take_writing();
    }

    bool ready = false;  // the first update went through

    std::uint64_t receiver() const
    {
        std::uint64_t last = 0;
        for (const auto& e : log.events())
            if (e.event == QV_EVENT_DEVICE_ARRIVAL && info_of(e.handle).DevType == 0)
                last = e.handle;
        return last;
    }

    bool update()
    {
        const std::uint64_t h = receiver();
        const std::size_t arrivals = log.arrivals().size();
        const std::u16string path = wide(kImagePath);
        if (QV_StartDFU(static_cast<std::int64_t>(h), 1, 0, path.c_str(), 0, nullptr) != QV_SUCCESS)
            return false;
        if (!log.wait_for(QV_EVENT_DFU_STATUS_CHANGED, h, QV_DFU_SUCCEEDED, std::chrono::seconds(120)))
            return false;
        // Back in its application (bootloader arrival, then the receiver's).
        return log.wait_count(QV_EVENT_DEVICE_ARRIVAL, arrivals + 2, std::chrono::seconds(30));
    }
};

EngineRig& rig()
{
    static EngineRig* r = new EngineRig;
    return *r;
}

void engine_update(benchmark::State& state)
{
    const int slow = static_cast<int>(state.range(0));
    EngineRig& r = rig();
    if (!r.ready) {
        bench::fail("the first update failed");
        bench::skip_loop(state);
        return;
    }
    r.rx->bootloader()->model().set_latency(std::chrono::microseconds(slow ? 1000 : 0));
    const double kbPerUpdate = static_cast<double>(kImageSize) / 1024.0;
    double cpuPerKb = -1;
    double writingPerKb = -1;
    const auto wall0 = std::chrono::steady_clock::now();
    for (auto _ : state) {
        if (bench::failed())
            continue;
        const double c0 = bench::process_cpu_seconds();
        if (!r.update()) {
            bench::fail("update failed");
            continue;
        }
        cpuPerKb = least(cpuPerKb, (bench::process_cpu_seconds() - c0) / kbPerUpdate * 1e6);
        writingPerKb = least(writingPerKb, r.log.take_writing() / kbPerUpdate * 1e6);
    }
    if (bench::failed())
        return;
    const double wall = std::chrono::duration<double>(std::chrono::steady_clock::now() - wall0).count();
    state.counters["cpu_us_per_KB"] = cpuPerKb;
    state.counters["writing_cpu_us_per_KB"] = writingPerKb;
    state.counters["wall_us_per_KB"] = wall / (kbPerUpdate * static_cast<double>(state.iterations())) * 1e6;
}

// The same records written straight to a bootloader's collection: write 33 bytes, read 33 bytes.
void bare_transfer(benchmark::State& state)
{
    const int slow = static_cast<int>(state.range(0));
    static SimHidBootloader* bootloader = [] {
        auto* b = new SimHidBootloader(sim_bootloader_config(SimBootloaderFamily::PureHid, 0xAA11), SimReceiverVersion{});
        b->plug();
        return b;
    }();
    bootloader->model().set_latency(std::chrono::microseconds(slow ? 1000 : 0));
    // While the engine writes an image its receiver is away (in its bootloader): the baseline runs
    // with the engine idle and without a receiver, so both see the same waiting threads.
    EngineRig& r = rig();
    if (!r.ready) {
        bench::fail("the engine's first update failed");
        bench::skip_loop(state);
        return;
    }
    const std::size_t removals = r.log.count(QV_EVENT_DEVICE_REMOVAL);
    r.rx->unplug();
    if (!r.log.wait_count(QV_EVENT_DEVICE_REMOVAL, removals + 1))
        bench::fail("the receiver did not leave");
    const std::u16string path = wide(bootloader->collection()->path());
    HANDLE file = CreateFileW(path.c_str(), GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                              OPEN_EXISTING, FILE_FLAG_OVERLAPPED, nullptr);
    HANDLE event = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    const auto image = make_image(kImageSize);
    auto io = [&](bool write, std::uint8_t* buffer) {
        OVERLAPPED ov{};
        ov.hEvent = event;
        ResetEvent(event);
        DWORD done = 0;
        const BOOL ok = write ? WriteFile(file, buffer, 33, &done, &ov) : ReadFile(file, buffer, 33, &done, &ov);
        if (!ok && GetLastError() != ERROR_IO_PENDING)
            return false;
        if (!ok && WaitForSingleObject(event, 1000) != WAIT_OBJECT_0)
            return false;
        return GetOverlappedResult(file, &ov, &done, FALSE) != FALSE && done == 33;
    };
    const double kbPerRun = static_cast<double>(kImageSize) / 1024.0;
    double cpuPerKb = -1;
    const auto wall0 = std::chrono::steady_clock::now();
    if (file == INVALID_HANDLE_VALUE || !event)
        bench::fail("the bootloader's collection did not open");
    for (auto _ : state) {
        if (bench::failed())
            continue;
        const double c0 = bench::process_cpu_seconds();
        for (std::size_t at = 0; at < image.size(); at += 16) {
            std::uint8_t request[33] = {0, 0x20, static_cast<std::uint8_t>(at >> 8), static_cast<std::uint8_t>(at), 16};
            std::copy(image.begin() + static_cast<std::ptrdiff_t>(at), image.begin() + static_cast<std::ptrdiff_t>(at + 16),
                      request + 5);
            std::uint8_t reply[33] = {};
            if (!io(true, request) || !io(false, reply)) {
                bench::fail("transfer failed");
                break;
            }
        }
        cpuPerKb = least(cpuPerKb, (bench::process_cpu_seconds() - c0) / kbPerRun * 1e6);
    }
    if (!bench::failed()) {
        const double wall = std::chrono::duration<double>(std::chrono::steady_clock::now() - wall0).count();
        state.counters["cpu_us_per_KB"] = cpuPerKb;
        state.counters["wall_us_per_KB"] = wall / (kbPerRun * static_cast<double>(state.iterations())) * 1e6;
    }
    if (event)
        CloseHandle(event);
    if (file != INVALID_HANDLE_VALUE)
        CloseHandle(file);
    const std::size_t arrivals = r.log.arrivals().size();
    r.rx->plug();
    if (!r.log.wait_count(QV_EVENT_DEVICE_ARRIVAL, arrivals + 1))
        bench::fail("the receiver did not come back");
}

// The bare runs are short: more of them, so that one undisturbed run is among them.
BENCHMARK(bare_transfer)->Arg(0)->Iterations(20)->UseRealTime()->Unit(benchmark::kMillisecond);
BENCHMARK(bare_transfer)->Arg(1)->Iterations(3)->UseRealTime()->Unit(benchmark::kMillisecond);
BENCHMARK(engine_update)->Arg(0)->Arg(1)->Iterations(5)->UseRealTime()->Unit(benchmark::kMillisecond);

}  // namespace

int main(int argc, char** argv)
{
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv))
        return 2;
    // The engine runs (idle) during the baseline too, so both see the same machine.
    rig();
    bench::Reporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    benchmark::Shutdown();
    for (int slow = 0; slow < 2; ++slow) {
        const std::string engine = "engine_update/" + std::to_string(slow);
        const std::string bare = "bare_transfer/" + std::to_string(slow);
        const char* label = slow ? "1 ms bootloader" : "bootloader answering at once";
        if (!reporter.have({engine, bare}, label))
            continue;
        const bench::Figures& e = *reporter.figures(engine);
        const bench::Figures& b = *reporter.figures(bare);
        const double eCpu = e.counter("cpu_us_per_KB");
        const double eWriting = e.counter("writing_cpu_us_per_KB");
        const double bCpu = b.counter("cpu_us_per_KB");
        std::printf("\n%s (process CPU: least of the iterations; wall: all iterations):\n"
                    "  whole update   %8.1f us CPU/KB  (wall %8.1f us/KB)\n"
                    "  writing image  %8.1f us CPU/KB\n"
                    "  bare baseline  %8.1f us CPU/KB  (wall %8.1f us/KB)\n"
                    "  CPU ratio: whole update %.2f, writing %.2f (target <= 1.5)\n",
                    label, eCpu, e.counter("wall_us_per_KB"), eWriting, bCpu, b.counter("wall_us_per_KB"),
                    eCpu / bCpu, eWriting / bCpu);
    }
    return reporter.exitCode();
}
