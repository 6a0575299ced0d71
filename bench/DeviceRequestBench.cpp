// Cost of the framework per request: a blocking feature request through devio::Device
// against the simulated device answering at once, against a bare write-and-wait on the same
// simulated device. Also checks that waiting does not spin: with a device that answers after
// one USB frame, the process's CPU time per request stays far below the frame.

#include "BareRequest.h"
#include "devio/device/HostManager.h"

#include "device/Device.h"
#include "devices/SimHardwareDevice.h"
#include "features/IFeature.h"

#include <benchmark/benchmark.h>

#include <algorithm>
#include <condition_variable>
#include <cstdio>
#include <sys/resource.h>
#include <deque>
#include <mutex>
#include <thread>

namespace {

using namespace devio;
using platform::sim::Bytes;

// Context switches of the whole process so far: each thread hand-over of a request costs one or two.
double process_switches()
{
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return static_cast<double>(usage.ru_nvcsw + usage.ru_nivcsw);
}

using bench::process_cpu_seconds;

void framework_request(benchmark::State& state, std::chrono::microseconds latency)
{
    auto manager = devio::test::HostManager::create();  // a run loop drained by a host thread
    auto config = platform::sim::sim_keyboard_config();
    config.latency = latency;
    auto model = std::make_shared<platform::sim::SimProtocolDevice>(config);
    auto hardware = platform::sim::SimHardwareDevice::create(model, std::weak_ptr<IRunLoopManager>(manager));
    {
        auto device = Device::create(manager, hardware, std::make_shared<Configuration>());
        device->initDevice(manager);
        device->attach();
        auto battery = device->getFeatureSync(0x1000);
        if (!battery) {
            state.SkipWithError("no battery feature");
            return;
        }
        std::vector<Byte> reply;
        battery->execute(0, {}, reply, 0);  // warm: worker started, software id settled
        const double cpu0 = process_cpu_seconds();
        const double switches0 = process_switches();
        for (auto _ : state) {
            reply.clear();
            if (!battery->execute(0, {}, reply, 0)) {
                state.SkipWithError("request failed");
                break;
            }
            benchmark::DoNotOptimize(reply.data());
        }
        state.counters["process_cpu_us"] =
            benchmark::Counter((process_cpu_seconds() - cpu0) * 1e6 / static_cast<double>(state.iterations()));
        state.counters["switches"] =
            benchmark::Counter((process_switches() - switches0) / static_cast<double>(state.iterations()));
    }
}

void BM_FrameworkRequest(benchmark::State& state) { framework_request(state, std::chrono::microseconds(0)); }

void BM_FrameworkRequestUsbFrame(benchmark::State& state) { framework_request(state, std::chrono::microseconds(1000)); }

void BM_BareRequest(benchmark::State& state) { bench::bare_request(state); }

BENCHMARK(BM_BareRequest)->Unit(benchmark::kMicrosecond)->Repetitions(7)->ReportAggregatesOnly(true)->UseRealTime();
BENCHMARK(BM_FrameworkRequest)->Unit(benchmark::kMicrosecond)->Repetitions(7)->ReportAggregatesOnly(true)->UseRealTime();
BENCHMARK(BM_FrameworkRequestUsbFrame)
    ->Unit(benchmark::kMicrosecond)
    ->Repetitions(3)
    ->ReportAggregatesOnly(true)
    ->UseRealTime();

} // namespace

int main(int argc, char** argv)
{
    bench::MedianReporter reporter;
    bench::run_and_compare(&argc, argv, reporter, "BM_BareRequest", "BM_FrameworkRequest", 50);
    if (reporter.medians.count("BM_FrameworkRequestUsbFrame"))
        std::printf("with a 1000 us device: %.1f us per request, process CPU %.1f us per request (no spinning)\n",
                    reporter.medians["BM_FrameworkRequestUsbFrame"],
                    reporter.cpuPerRequest["BM_FrameworkRequestUsbFrame"]);
    benchmark::Shutdown();
    return 0;
}
