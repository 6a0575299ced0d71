// Cost of the lighting features' framework: (a) building a ready-made 0x8081 colour report
// against bare framing of the same 20 bytes; (b) a 104-key frame (eight queued batches of
// per-key colours and a flush) through devio::Device against the bare write-and-wait of one
// request. Medians and ratios are printed; the target is at most 50 us of framework per request.

#include "BareRequest.h"
#include "devio/device/HostManager.h"
#include "devio/features/FakeDevice.h"

#include "core/Request.h"
#include "device/Device.h"
#include "devices/SimHardwareDevice.h"
#include "features/IFeature8080PerKeyLighting.h"
#include "features/IFeature8081PerKeyLighting.h"

#include <benchmark/benchmark.h>

#include <cstdio>

namespace {

using namespace devio;

constexpr int kKeys = 104;
// Eight batches of at most 14 records, then the flush.
constexpr int kRequestsPerFrame = (kKeys + 13) / 14 + 1;

void BM_BareFraming20(benchmark::State& state)
{
    const std::vector<Byte> block{1, 10, 20, 30, 2, 11, 21, 31, 3, 12, 22, 32, 4, 13, 23, 33};
    for (auto _ : state) {
        std::vector<Byte> report{0x11, 0xFF, 0x07, 0x13};
        report.insert(report.end(), block.begin(), block.end());
        benchmark::DoNotOptimize(report.data());
    }
}

void BM_Build8081Report(benchmark::State& state)
{
    auto dev = std::make_shared<test::FakeDevice>();
    auto keys = test::make<IFeature8081PerKeyLighting>(0x8081, dev, 0x07);
    const std::vector<IFeature8081PerKeyLighting::RgbZone> zones{{1, 10, 20, 30}, {2, 11, 21, 31}, {3, 12, 22, 32},
                                                                 {4, 13, 23, 33}};
    std::vector<Byte> report;
    for (auto _ : state) {
        if (!keys->BuildIndividualRgbZonesReport(report, zones)) {
            state.SkipWithError("build failed");
            break;
        }
        benchmark::DoNotOptimize(report.data());
    }
}

void BM_KeyFrame104(benchmark::State& state)
{
    auto manager = test::HostManager::create();
    auto config = platform::sim::sim_keyboard_config();
    config.very_long_reports = true;
    config.features.push_back({0x8080, 0, 0});
    auto model = std::make_shared<platform::sim::SimProtocolDevice>(config);
    auto hardware = platform::sim::SimHardwareDevice::create(model, std::weak_ptr<IRunLoopManager>(manager));
    {
        auto device = Device::create(manager, hardware, std::make_shared<Configuration>());
        device->initDevice(manager);
        device->attach();
        auto keys = std::dynamic_pointer_cast<IFeature8080PerKeyLighting>(device->getFeatureSync(0x8080));
        if (!keys) {
            state.SkipWithError("no per-key lighting feature");
            return;
        }
        std::vector<IFeature8080PerKeyLighting::KeyRecord> frame;
        for (int k = 1; k <= kKeys; ++k)
            frame.push_back({static_cast<Byte>(k), static_cast<Byte>(k), 0x40, 0x80});
        const double cpu0 = bench::process_cpu_seconds();
        for (auto _ : state) {
            auto colours = keys->SetKeyColorsAsync(1, frame);
            auto flush = keys->FlushAsync();
            if (!colours || !flush || !flush->wait() || !colours->wait()) {
                state.SkipWithError("frame failed");
                break;
            }
        }
        state.counters["process_cpu_us"] = benchmark::Counter(
            (bench::process_cpu_seconds() - cpu0) * 1e6 / static_cast<double>(state.iterations()));
    }
}

void BM_BareRequest(benchmark::State& state) { bench::bare_request(state); }

BENCHMARK(BM_BareFraming20)->Repetitions(7)->ReportAggregatesOnly(true);
BENCHMARK(BM_Build8081Report)->Repetitions(7)->ReportAggregatesOnly(true);
BENCHMARK(BM_BareRequest)->Unit(benchmark::kMicrosecond)->Repetitions(7)->ReportAggregatesOnly(true)->UseRealTime();
BENCHMARK(BM_KeyFrame104)->Unit(benchmark::kMicrosecond)->Repetitions(7)->ReportAggregatesOnly(true)->UseRealTime();

} // namespace

int main(int argc, char** argv)
{
    benchmark::Initialize(&argc, argv);
    bench::MedianReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    const double framing = reporter.medians["BM_BareFraming20"];
    const double build = reporter.medians["BM_Build8081Report"];
    if (framing > 0 && build > 0)
        std::printf("\nmedian 0x8081 report: bare framing %.0f ns, built %.0f ns, ratio %.2f\n", framing, build,
                    build / framing);
    const double bare = reporter.medians["BM_BareRequest"];
    const double frame = reporter.medians["BM_KeyFrame104"];
    if (bare > 0 && frame > 0) {
        const double perRequest = frame / kRequestsPerFrame;
        std::printf("median 104-key frame: %.1f us for %d requests, %.1f us per request; bare request %.1f us, "
                    "ratio %.2f, framework adds %.1f us per request (target: at most 50 us)\n",
                    frame, kRequestsPerFrame, perRequest, bare, perRequest / bare, perRequest - bare);
    }
    benchmark::Shutdown();
    return 0;
}
