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

#include <atomic>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <mutex>

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
// cost on the application's thread, not the application's.
class UpdateEnd {
public:
    static void callback(void* context, DFU_DEVICE device, DFU_EVENTTYPE event, int parameter)
    {
        auto* self = static_cast<UpdateEnd*>(context);
        if (event == DFU_EVENT_PROGRESS) {
            self->m_progress.fetch_add(1, std::memory_order_relaxed);
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
    }
    // The final status, or -1 when none came by the deadline.
    int wait()
    {
        std::unique_lock<std::mutex> lock(m_mutex);
        m_condition.wait_for(lock, std::chrono::seconds(60), [&] { return m_status != -1; });
        return m_status;
    }

private:
    std::mutex m_mutex;
    std::condition_variable m_condition;
    DFU_DEVICE m_device = 0;
    int m_status = -1;
    std::atomic<unsigned long> m_progress{0};
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
    platform::sim::reset_machine();
    static app::test::EventLog log;
    log.clear();   // the arrival of an earlier repetition's device is not this one's
    // The restart's one-second pause and the time-outs, shortened; replies come at once.
    devio::Timing::setScale(1, 100);
    platform::sim::SimHidProtocolDevice keyboard(bootloader_keyboard());
    keyboard.plug();
    auto engine = std::make_shared<app::test::EngineDouble>();
    cDFUDeviceProvider::useEngineForInstance(engine);
    DFU_Init(&app::test::EventLog::callback, &log);
    const DFU_DEVICE device = log.wait_for_arrival();
    if (!device) {
        state.SkipWithError("no device");
        return;
    }
    const auto data = image();
    static UpdateEnd end;
    DFU_Init(&UpdateEnd::callback, &end);   // replaces the log's callback until the end of this run
    for (auto _ : state) {
        end.expect(device);
        if (DFU_StartUpdate(device, data.data(), static_cast<int>(data.size()), nullptr, 0, true) != DFU_OK ||
            end.wait() != DFU_STATUS_SUCCEEDED) {
            state.SkipWithError("update failed");
            break;
        }
    }
    DFU_Init(&app::test::EventLog::callback, &log);
}

void BM_BarePackets(benchmark::State& state)
{
    platform::sim::SimProtocolDevice model(bootloader_keyboard());
    bench::RoundTrip round_trip(model);
    const auto data = image();
    const std::uint8_t dfuIndex = 3;   // Root, FeatureSet, FirmwareInfo, DFU
    for (auto _ : state) {
        for (std::uint32_t n = 0; n < kPackets; ++n) {
            const std::uint8_t function = n == 0 ? 4 : static_cast<std::uint8_t>((n + 1) & 3);
            Bytes report(20, 0);
            report[0] = 0x11;
            report[1] = 0xFF;
            report[2] = dfuIndex;
            report[3] = static_cast<std::uint8_t>(function << 4 | 0x01);
            for (std::size_t k = 0; k < 16; ++k)
                report[4 + k] = static_cast<std::uint8_t>(data[n * 16 + k]);
            round_trip(report);
        }
    }
}

BENCHMARK(BM_BarePackets)->Unit(benchmark::kMillisecond)->Iterations(1)->Repetitions(5)->ReportAggregatesOnly(true)->UseRealTime();
BENCHMARK(BM_DfuStartUpdate)->Unit(benchmark::kMillisecond)->Iterations(1)->Repetitions(5)->ReportAggregatesOnly(true)->UseRealTime();

} // namespace

int main(int argc, char** argv)
{
    benchmark::Initialize(&argc, argv);
    bench::MedianReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    // Medians are per 256 KiB run, in milliseconds.
    const double bare = reporter.medians["BM_BarePackets"] * 1000.0 / kPackets;
    const double app = reporter.medians["BM_DfuStartUpdate"] * 1000.0 / kPackets;
    if (bare > 0 && app > 0)
        std::printf("\nmedian per packet: bare %.1f us, DFU_StartUpdate %.1f us, ratio %.2f, added %.1f us "
                    "(target: at most 60 us)\n",
                    bare, app, app / bare, app - bare);
    benchmark::Shutdown();
    std::fflush(stdout);
    // The provider and its devices end with the process, as in the program.
    std::_Exit(0);
}
