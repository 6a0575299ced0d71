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
#include <deque>
#include <mutex>
#include <thread>

namespace {

using namespace devio;
using platform::sim::Bytes;

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
        std::vector<Byte> reply;
        if (!battery)
            bench::fail("no battery feature");
        else if (!battery->execute(0, {}, reply, 0))  // warm: worker started, software id settled
            bench::fail("first request failed");
        bench::CpuMeter cpu;
        for (auto _ : state) {
            if (bench::failed())
                continue;
            reply.clear();
            if (!battery->execute(0, {}, reply, 0))
                bench::fail("request failed");
            benchmark::DoNotOptimize(reply.data());
        }
        cpu.report(state);
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
    bench::Reporter reporter;
    const int code = bench::run_and_compare(&argc, argv, reporter, "BM_BareRequest", "BM_FrameworkRequest",
                                            "framework", 50);
    if (code != 0)
        return code;
    if (const bench::Figures* usb = reporter.figures("BM_FrameworkRequestUsbFrame"))
        std::printf("with a 1000 us device: %.1f us wall per request, process CPU %.1f us per request (no spinning)\n",
                    usb->wallUs, usb->counter("process_cpu_us"));
    benchmark::Shutdown();
    return reporter.exitCode();
}
