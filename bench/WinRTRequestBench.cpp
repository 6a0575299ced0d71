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

#include <chrono>
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

// The protocol characteristic of the rig's keyboard, with notifications switched on; null when
// any step of getting there failed.
ComPtr<IGattCharacteristic> find_protocol_characteristic(const Rig& rig)
{
    ComPtr<IAsyncOperation<IBluetoothLEDevice*>> found;
    if (FAILED(get_bluetooth_le_device_statics()->FromBluetoothAddressAsync(rig.sim->address(), found.GetAddressOf())))
        return nullptr;
    auto device = await<IBluetoothLEDevice*>(found);
    ComPtr<IBluetoothLEDevice3> device3;
    if (!device || FAILED(device.As(&device3)))
        return nullptr;
    ComPtr<IAsyncOperation<IGattDeviceServicesResult*>> listing;
    if (FAILED(device3->GetGattServicesWithCacheModeAsync(BluetoothCacheMode_Cached, listing.GetAddressOf())))
        return nullptr;
    auto services = await<IGattDeviceServicesResult*>(listing);
    ComPtr<IVectorView<IGattDeviceService*>> list;
    ComPtr<IGattDeviceService> protocol;
    ComPtr<IGattDeviceService3> protocol3;
    if (!services || FAILED(services->get_Services(list.GetAddressOf())) || FAILED(list->GetAt(1, protocol.GetAddressOf())) ||
        FAILED(protocol.As(&protocol3)))
        return nullptr;
    ComPtr<IAsyncOperation<IGattCharacteristicsResult*>> characteristicsOp;
    if (FAILED(protocol3->GetCharacteristicsWithCacheModeAsync(BluetoothCacheMode_Cached, characteristicsOp.GetAddressOf())))
        return nullptr;
    auto characteristics = await<IGattCharacteristicsResult*>(characteristicsOp);
    ComPtr<IVectorView<IGattCharacteristic*>> items;
    ComPtr<IGattCharacteristic> characteristic;
    ComPtr<IGattCharacteristic3> characteristic3;
    if (!characteristics || FAILED(characteristics->get_Characteristics(items.GetAddressOf())) ||
        FAILED(items->GetAt(0, characteristic.GetAddressOf())) || FAILED(characteristic.As(&characteristic3)))
        return nullptr;
    ComPtr<IAsyncOperation<IGattWriteResult*>> cccd;
    if (FAILED(characteristic3->WriteClientCharacteristicConfigurationDescriptorWithResultAsync(GattCccd_Notify,
                                                                                                cccd.GetAddressOf())) ||
        !await<IGattWriteResult*>(cccd))
        return nullptr;
    return characteristic;
}

ComPtr<IGattCharacteristic> protocol_characteristic(const Rig& rig)
{
    try {
        return find_protocol_characteristic(rig);
    } catch (const DevioException&) {
        return nullptr;
    }
}

void BM_BareCharacteristic(benchmark::State& state)
{
    Rig rig;
    ComPtr<IGattCharacteristic> characteristic = protocol_characteristic(rig);
    if (!characteristic) {
        bench::fail("no protocol characteristic");
        bench::skip_loop(state);
        return;
    }
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
    bench::CpuMeter cpu;
    for (auto _ : state) {
        if (bench::failed())
            continue;
        std::unique_lock<std::mutex> lock(mutex);
        const std::uint64_t target = notifications + 1;
        lock.unlock();
        ComPtr<ABI::Windows::Storage::Streams::IBuffer> buffer;
        ComPtr<IAsyncOperation<GattCommunicationStatus>> write;
        if (FAILED(crypto->CreateFromByteArray(static_cast<std::uint32_t>(payload.size()), payload.data(),
                                               buffer.GetAddressOf())) ||
            FAILED(characteristic->WriteValueWithOptionAsync(buffer.Get(), GattWriteOption_WriteWithoutResponse,
                                                             write.GetAddressOf()))) {
            bench::fail("write failed");
            continue;
        }
        lock.lock();
        if (!condition.wait_for(lock, std::chrono::seconds(5), [&] { return notifications >= target; }))
            bench::fail("no notification within 5 s");
    }
    cpu.report(state);
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
        std::vector<Byte> reply;
        if (!battery)
            bench::fail("no battery feature");
        else if (!battery->execute(0, {}, reply, 0))
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
    bench::Reporter reporter;
    const int code = bench::run_and_compare(&argc, argv, reporter, "BM_BareCharacteristic", "BM_WinRTFrameworkRequest",
                                            "framework", 100);
    if (code != 0)
        return code;
    benchmark::Shutdown();
    return reporter.exitCode();
}
