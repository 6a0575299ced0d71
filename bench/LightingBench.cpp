// Cost of the lighting features' framework: (a) building a ready-made 0x8081 colour report
// against bare framing of the same 20 bytes; (b) a 104-key frame (eight queued batches of
// per-key colours and a flush) through devio::Device against the bare write-and-wait of one
// request. Wall-time medians and process CPU per request are printed; the target is at most 50 us
// of framework per request.

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
        if (bench::failed())
            continue;
        if (!keys->BuildIndividualRgbZonesReport(report, zones))
            bench::fail("build failed");
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
            bench::fail("no per-key lighting feature");
            bench::skip_loop(state);
            return;
        }
        std::vector<IFeature8080PerKeyLighting::KeyRecord> frame;
        for (int k = 1; k <= kKeys; ++k)
            frame.push_back({static_cast<Byte>(k), static_cast<Byte>(k), 0x40, 0x80});
        bench::CpuMeter cpu;
        for (auto _ : state) {
            if (bench::failed())
                continue;
            auto colours = keys->SetKeyColorsAsync(1, frame);
            auto flush = keys->FlushAsync();
            if (!colours || !flush || !flush->wait() || !colours->wait())
                bench::fail("frame failed");
        }
        cpu.report(state);
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
    if (benchmark::ReportUnrecognizedArguments(argc, argv))
        return 2;
    bench::Reporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    if (reporter.have({"BM_BareFraming20", "BM_Build8081Report"}, "0x8081 report comparison")) {
        const double framing = reporter.figures("BM_BareFraming20")->wallUs * 1e3;
        const double build = reporter.figures("BM_Build8081Report")->wallUs * 1e3;
        std::printf("\nmedian 0x8081 report: bare framing %.0f ns, built %.0f ns, ratio %.2f\n", framing, build,
                    build / framing);
    }
    if (reporter.have({"BM_BareRequest", "BM_KeyFrame104"}, "104-key frame comparison")) {
        const bench::Figures& bare = *reporter.figures("BM_BareRequest");
        const bench::Figures& frame = *reporter.figures("BM_KeyFrame104");
        std::printf("\nmedian 104-key frame: %.1f us wall for %d requests\n", frame.wallUs, kRequestsPerFrame);
        bench::print_comparison("request", "frame", bare, frame.perUnit(kRequestsPerFrame), 50);
    }
    benchmark::Shutdown();
    return reporter.exitCode();
}
