// Cost of the Windows Runtime transport per request: a blocking feature request through
// devio::Device over the WinRT Bluetooth device, against a bare characteristic write and
// notification wait on the same stand-in runtime objects, in one run. Also reports the process
// CPU time per request, which stays near the wall time only if nothing spins.

#include "BenchSupport.h"
#include "devio/device/HostManager.h"

#include "bluetooth/AsyncBridge.h"
#include "bluetooth/WinRTBluetoothDevice.h"
#include "bluetooth/WinRTDelegate.h"
#include "bluetooth/WinRTFactories.h"
#include "device/Device.h"
#include "devices/SimBluetoothDevice.h"
#include "features/IFeature.h"

#include <sim/Bluetooth.h>
#include <sim/Kernel.h>

#include <benchmark/benchmark.h>

#include <condition_variable>
#include <cstdio>
#include <mutex>

namespace {

using namespace devio;
using Microsoft::WRL::ComPtr;
using namespace ABI::Windows::Foundation;
using namespace ABI::Windows::Foundation::Collections;
using namespace ABI::Windows::Devices::Bluetooth;
using namespace ABI::Windows::Devices::Bluetooth::GenericAttributeProfile;

using bench::process_cpu_seconds;

// A connected simulated Bluetooth LE keyboard on a fresh machine.
struct Rig {
    Rig()
    {
        platform::sim::reset_machine();
        platform::sim::remove_all_dev_nodes();
        radio = platform::sim::add_radio("bench");
        sim = std::make_unique<platform::sim::SimBluetoothDevice>(platform::sim::sim_keyboard_config(),
                                                                  platform::sim::SimBluetoothConfig{});
        sim->pair(radio);
        sim->connect(radio);
    }
    ~Rig()
    {
        sim.reset();
        platform::sim::remove_all_dev_nodes();
    }
    platform::sim::DevInst radio = 0;
    std::unique_ptr<platform::sim::SimBluetoothDevice> sim;
};

void BM_BareCharacteristic(benchmark::State& state)
{
    Rig rig;
    ComPtr<IAsyncOperation<IBluetoothLEDevice*>> found;
    get_bluetooth_le_device_statics()->FromBluetoothAddressAsync(rig.sim->address(), found.GetAddressOf());
    auto device = await<IBluetoothLEDevice*>(found);
    ComPtr<IBluetoothLEDevice3> device3;
    device.As(&device3);
    ComPtr<IAsyncOperation<IGattDeviceServicesResult*>> listing;
    device3->GetGattServicesWithCacheModeAsync(BluetoothCacheMode_Cached, listing.GetAddressOf());
    auto services = await<IGattDeviceServicesResult*>(listing);
    ComPtr<IVectorView<IGattDeviceService*>> list;
    services->get_Services(list.GetAddressOf());
    ComPtr<IGattDeviceService> protocol;
    list->GetAt(1, protocol.GetAddressOf());
    ComPtr<IGattDeviceService3> protocol3;
    protocol.As(&protocol3);
    ComPtr<IAsyncOperation<IGattCharacteristicsResult*>> characteristicsOp;
    protocol3->GetCharacteristicsWithCacheModeAsync(BluetoothCacheMode_Cached, characteristicsOp.GetAddressOf());
    auto characteristics = await<IGattCharacteristicsResult*>(characteristicsOp);
    ComPtr<IVectorView<IGattCharacteristic*>> items;
    characteristics->get_Characteristics(items.GetAddressOf());
    ComPtr<IGattCharacteristic> characteristic;
    items->GetAt(0, characteristic.GetAddressOf());
    ComPtr<IGattCharacteristic3> characteristic3;
    characteristic.As(&characteristic3);
    ComPtr<IAsyncOperation<IGattWriteResult*>> cccd;
    characteristic3->WriteClientCharacteristicConfigurationDescriptorWithResultAsync(GattCccd_Notify, cccd.GetAddressOf());
    await<IGattWriteResult*>(cccd);

    std::mutex mutex;
    std::condition_variable condition;
    std::uint64_t notifications = 0;
    auto handler = make_delegate<IGattCharacteristic*, IGattValueChangedEventArgs*>(
        [&](IGattCharacteristic*, IGattValueChangedEventArgs*) {
            std::lock_guard<std::mutex> lock(mutex);
            ++notifications;
            condition.notify_all();
        });
    EventRegistrationToken token{};
    characteristic->add_ValueChanged(handler.Get(), &token);
    auto crypto = get_cryptographic_buffer_statics();
    std::vector<std::uint8_t> payload = {0x05, 0x01, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0};
    const double cpu0 = process_cpu_seconds();
    for (auto _ : state) {
        std::unique_lock<std::mutex> lock(mutex);
        const std::uint64_t target = notifications + 1;
        lock.unlock();
        ComPtr<ABI::Windows::Storage::Streams::IBuffer> buffer;
        crypto->CreateFromByteArray(static_cast<std::uint32_t>(payload.size()), payload.data(), buffer.GetAddressOf());
        ComPtr<IAsyncOperation<GattCommunicationStatus>> write;
        characteristic->WriteValueWithOptionAsync(buffer.Get(), GattWriteOption_WriteWithoutResponse, write.GetAddressOf());
        lock.lock();
        condition.wait(lock, [&] { return notifications >= target; });
    }
    state.counters["process_cpu_us"] =
        benchmark::Counter((process_cpu_seconds() - cpu0) * 1e6 / static_cast<double>(state.iterations()));
    characteristic->remove_ValueChanged(token);
}

void BM_WinRTFrameworkRequest(benchmark::State& state)
{
    Rig rig;
    auto manager = devio::test::HostManager::create();
    auto hardware = std::make_shared<WinRTBluetoothDevice>(nullptr, "a0:b1:c2:d3:e4:f5", "Sim Keyboard", true);
    hardware->set_run_loop(std::weak_ptr<IRunLoopManager>(manager));
    hardware->open();
    hardware->set_connected(true);
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
        battery->execute(0, {}, reply, 0);
        const double cpu0 = process_cpu_seconds();
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
    }
    hardware->close();
}

BENCHMARK(BM_BareCharacteristic)->Unit(benchmark::kMicrosecond)->Repetitions(7)->ReportAggregatesOnly(true)->UseRealTime();
BENCHMARK(BM_WinRTFrameworkRequest)
    ->Unit(benchmark::kMicrosecond)
    ->Repetitions(7)
    ->ReportAggregatesOnly(true)
    ->UseRealTime();

} // namespace

int main(int argc, char** argv)
{
    bench::MedianReporter reporter;
    bench::run_and_compare(&argc, argv, reporter, "BM_BareCharacteristic", "BM_WinRTFrameworkRequest", 100);
    benchmark::Shutdown();
    return 0;
}
