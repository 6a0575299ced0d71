// Cost of the application's firmware transfer per packet: a 256 KiB image through
// DFU_StartUpdate (provider, protocol adapter, devio device, stand-in HID) into a simulated
// keyboard in its bootloader that answers at once, against a bare baseline that writes the
// same packets straight to the same simulated device and awaits each reply.

#include "BareRequest.h"
#include "app/AppTestSupport.h"
#include "cDFUDeviceProvider.h"

#include "core/Timing.h"
#include "devices/SimHidDevice.h"
#include "quillon/DfuImage.h"
#include "quillon/ProductIds.h"

#include <sim/Kernel.h>

#include <benchmark/benchmark.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <mutex>
#include <string>

namespace {

using platform::sim::Bytes;

constexpr std::uint32_t kImageSize = 256 * 1024;
constexpr std::uint32_t kPackets = kImageSize / 16;
constexpr std::uint16_t kProduct = quillon::ids::kKeyboardE.productId;

std::vector<char> image()
{
    quillon::dfu::Header h;
    h.productId = kProduct;
    h.length = kImageSize - 16;
    h.version = 0x1201;
    h.build = 0x0033;
    const auto header = quillon::dfu::encodeHeader(h);
    std::vector<char> out(header.begin(), header.end());
    for (std::uint32_t i = 0; i < h.length; ++i)
        out.push_back(static_cast<char>(i * 13));
    return out;
}

// The end of an update as the caller hears it. Progress comes once per packet and is only
// counted: a waiting thread woken (and a log rescanned) at each one would be the bench's own
// cost on the application's thread, not the application's. The progress of the last packet notes
// the time, the process CPU and sleeps: the device's restart pause (one second) that follows it is not
// the transfer's.
class UpdateEnd {
public:
    static void callback(void* context, DFU_DEVICE device, DFU_EVENTTYPE event, int parameter)
    {
        auto* self = static_cast<UpdateEnd*>(context);
        if (event == DFU_EVENT_PROGRESS) {
            if (self->m_progress.fetch_add(1, std::memory_order_relaxed) + 1 == kPackets) {
                const LastPacket last{std::chrono::steady_clock::now(), bench::process_cpu_seconds(),
                                      bench::process_sleeps()};
                std::lock_guard<std::mutex> lock(self->m_mutex);
                self->m_lastPacket = last;
            }
            return;
        }
        if (event != DFU_EVENT_STATUS || parameter == DFU_STATUS_STARTED)
            return;
        {
            std::lock_guard<std::mutex> lock(self->m_mutex);
            if (device != self->m_device)
                return;
            self->m_status = parameter;
        }
        self->m_condition.notify_all();
    }
    void expect(DFU_DEVICE device)
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_device = device;
        m_status = -1;
        m_progress = 0;
        m_lastPacket = LastPacket{};
    }
    // The final status, or -1 when none came by the deadline.
    int wait()
    {
        std::unique_lock<std::mutex> lock(m_mutex);
        m_condition.wait_for(lock, std::chrono::seconds(60), [&] { return m_status != -1; });
        return m_status;
    }
    // Accepted packets so far: one progress event each.
    unsigned long progress() const { return m_progress.load(std::memory_order_relaxed); }
    // When the last packet was accepted, and the process CPU time (-1 before that) and sleeps then.
    struct LastPacket {
        std::chrono::steady_clock::time_point at;
        double cpu = -1;
        double sleeps = 0;
    };
    LastPacket lastPacket()
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        return m_lastPacket;
    }

private:
    std::mutex m_mutex;
    std::condition_variable m_condition;
    DFU_DEVICE m_device = 0;
    int m_status = -1;
    std::atomic<unsigned long> m_progress{0};
    LastPacket m_lastPacket;
};

platform::sim::SimProtocolConfig bootloader_keyboard()
{
    auto config = platform::sim::sim_keyboard_config();
    config.product_id = kProduct;
    config.features = config.bootloader_features;   // stays in reach of the update after each run
    return config;
}

void BM_DfuStartUpdate(benchmark::State& state)
{
    if (bench::failed()) {  // an earlier repetition
        bench::skip_loop(state);
        return;
    }
    platform::sim::reset_machine();
    static app::test::EventLog log;
    log.clear();   // the arrival of an earlier repetition's device is not this one's
    // The system's own time-outs: shortened ones run out on a loaded machine. Replies come at once.
    devio::Timing::reset();
    platform::sim::SimHidProtocolDevice keyboard(bootloader_keyboard());
    keyboard.plug();
    auto engine = std::make_shared<app::test::EngineDouble>();
    cDFUDeviceProvider::useEngineForInstance(engine);
    DFU_Init(&app::test::EventLog::callback, &log);
    const DFU_DEVICE device = log.wait_for_arrival();
    if (!device) {
        bench::fail("no device");
        bench::skip_loop(state);
        return;
    }
    const auto data = image();
    static UpdateEnd end;
    DFU_Init(&UpdateEnd::callback, &end);   // replaces the log's callback until the end of this run
    double cpu = 0;
    double sleeps = 0;
    for (auto _ : state) {
        state.SetIterationTime(0);
        if (bench::failed())
            continue;
        end.expect(device);
        const auto start = std::chrono::steady_clock::now();
        const double cpuStart = bench::process_cpu_seconds();
        const double sleepsStart = bench::process_sleeps();
        const int started = DFU_StartUpdate(device, data.data(), static_cast<int>(data.size()), nullptr, 0, true);
        if (started != DFU_OK) {
            bench::fail("DFU_StartUpdate returned " + std::to_string(started));
            continue;
        }
        const int status = end.wait();
        if (status != DFU_STATUS_SUCCEEDED) {
            bench::fail(status == -1 ? std::string("no end of the update within 60 s")
                                     : "update ended with status " + std::to_string(status));
            continue;
        }
        const UpdateEnd::LastPacket last = end.lastPacket();
        if (end.progress() < kPackets || last.cpu < 0) {
            bench::fail(std::to_string(end.progress()) + " of " + std::to_string(kPackets) + " packets accepted");
            continue;
        }
        state.SetIterationTime(std::chrono::duration<double>(last.at - start).count());
        cpu += last.cpu - cpuStart;
        sleeps += last.sleeps - sleepsStart;
    }
    // Every run carries the same counters, also one that failed: the library's statistics expect it.
    const double iterations = std::max(static_cast<double>(state.iterations()), 1.0);
    state.counters["process_cpu_us"] = cpu * 1e6 / iterations;
    state.counters["sleeps"] = sleeps / iterations;
    DFU_Init(&app::test::EventLog::callback, &log);
}

void BM_BarePackets(benchmark::State& state)
{
    platform::sim::SimProtocolDevice model(bootloader_keyboard());
    bench::RoundTrip round_trip(model);
    const auto data = image();
    const std::uint8_t dfuIndex = 3;   // Root, FeatureSet, FirmwareInfo, DFU
    Bytes reply;
    bench::CpuMeter cpu;
    for (auto _ : state) {
        for (std::uint32_t n = 0; n < kPackets && !bench::failed(); ++n) {
            const std::uint8_t function = n == 0 ? 4 : static_cast<std::uint8_t>((n + 1) & 3);
            Bytes report(20, 0);
            report[0] = 0x11;
            report[1] = 0xFF;
            report[2] = dfuIndex;
            report[3] = static_cast<std::uint8_t>(function << 4 | 0x01);
            for (std::size_t k = 0; k < 16; ++k)
                report[4 + k] = static_cast<std::uint8_t>(data[n * 16 + k]);
            // Status byte of the reply: 1 for the next packet, 2 after the last one.
            const bool last = n + 1 == kPackets;
            if (!round_trip(report, &reply))
                bench::fail("no reply to packet " + std::to_string(n) + " within 5 s");
            else if (reply.size() < 9 || reply[2] != dfuIndex || reply[8] != (last ? 2 : 1))
                bench::fail("packet " + std::to_string(n) + " refused");
        }
    }
    cpu.report(state);
}

BENCHMARK(BM_BarePackets)->Unit(benchmark::kMillisecond)->Iterations(1)->Repetitions(5)->ReportAggregatesOnly(true)->UseRealTime();
// Timed from DFU_StartUpdate to the acceptance of the last packet.
BENCHMARK(BM_DfuStartUpdate)->Unit(benchmark::kMillisecond)->Iterations(1)->Repetitions(5)->ReportAggregatesOnly(true)->UseManualTime();

} // namespace

int main(int argc, char** argv)
{
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv))
        return 2;
    bench::Reporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    if (reporter.have({"BM_BarePackets", "BM_DfuStartUpdate"}, "comparison")) {
        // The figures are per 256 KiB run.
        const bench::Figures& bare = *reporter.figures("BM_BarePackets");
        const bench::Figures& app = *reporter.figures("BM_DfuStartUpdate");
        bench::print_comparison("packet", "DFU update", bare.perUnit(kPackets), app.perUnit(kPackets), 60);
    }
    benchmark::Shutdown();
    const int code = reporter.exitCode();
    std::fflush(stdout);
    // The provider and its devices end with the process, as in the program.
    std::_Exit(code);
}
