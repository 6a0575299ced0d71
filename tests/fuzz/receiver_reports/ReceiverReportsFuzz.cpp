// What a USB receiver sends: input reports into the receiver bus (arrival and removal
// notifications, register replies, relayed device reports, garbage), and register replies into
// the register decoders.
//
// Input: [mode] then, mode even: reports for the bus, each as [length] + bytes; mode odd: the
// register command picked by [call], and its replies in turn, each as [how, length] + bytes (how:
// 0 framed on the command, 1 as they stand, 2 silence).
#include "devio/device/HostManager.h"
#include "devio/Windows/LoopbackHardware.h"
#include "devio/features/FakeDevice.h"

#include "Windows/RavelinBus.h"
#include "Windows/RavelinDevice.h"
#include "Windows/TSL10Command.h"
#include "core/Timing.h"
#include "devices/SimReceiver.h"

#include <algorithm>
#include <atomic>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <thread>
#include <vector>

using namespace devio;

namespace {

using test::LoopbackHardware;

// A receiver bus of its own for each input, so that an input does what it does whatever came
// before it, and a failing input saved by the fuzzer fails again alone.
struct BusRig {
    BusRig()
    {
        Timing::setScale(1, 100);
        manager = test::HostManager::create();
        hardware = std::make_shared<LoopbackHardware>(receiver, manager, hardwareGone);
        bus = RavelinBus::create(manager, hardware, 6, manager->config());
        bus->initDevice(manager);
        bus->enumerate();
    }
    ~BusRig()
    {
        bus->close();
        bus.reset();
        hardware.reset();
        // The bus's worker may drop the last reference to the hardware a moment later; the
        // receiver model it talks to must outlive it.
        while (!hardwareGone->load())
            std::this_thread::yield();
        manager->shutdown();
    }
    std::shared_ptr<test::HostManager> manager;
    platform::sim::SimReceiver receiver{0xC510, 0x1A2B3C4D};
    std::shared_ptr<std::atomic<bool>> hardwareGone = std::make_shared<std::atomic<bool>>(false);
    std::shared_ptr<LoopbackHardware> hardware;
    std::shared_ptr<RavelinBus> bus;
};

// What the bus holds after the reports: each paired device, its product and link.
std::string into_bus(const std::uint8_t* data, std::size_t size)
{
    BusRig rig;
    std::size_t at = 0;
    while (at + 1 <= size) {
        const std::size_t length = std::min<std::size_t>(data[at], size - at - 1);
        std::vector<Byte> report(data + at + 1, data + at + 1 + length);
        at += 1 + length;
        rig.bus->onRead(report, false, 0, static_cast<unsigned>(report.size()));
    }
    std::string outcome;
    for (const auto& device : rig.bus->present_devices())
        outcome += device->getPath() + " " + std::to_string(device->getProductId()) +
                   (device->isConnected() ? " linked\n" : " unlinked\n");
    return outcome;
}

void into_decoders(unsigned which, const std::uint8_t* data, std::size_t size)
{
    auto device = std::make_shared<test::FakeDevice>();
    device->answer = test::FakeDevice::scripted_answers(std::vector<Byte>(data, data + size));
    std::vector<Byte> value;
    TSL10Command::ReceiverConnectionStateResponse state;
    TSL10Command::ReceiverPairedDeviceNameResponse name;
    switch (which % 8) {
    case 0:
        if (auto r = TSL10Command::read_receiver_connection_state(device.get()))
            r->get(state);
        break;
    case 1:
        if (auto r = TSL10Command::read_receiver_paired_device_name(device.get(), static_cast<std::uint8_t>(which >> 3)))
            r->get(name);
        break;
    case 2: TSL10Command::read_receiver_register_b3(device.get(), value); break;
    case 3: TSL10Command::open_receiver_lock(device.get()); break;
    case 4: TSL10Command::unpair_receiver_device(device.get(), static_cast<std::uint8_t>(which >> 3)); break;
    case 5: TSL10Command::update_receiver_short_register(device.get(), 0x00, 0x01, 0x08, 0, 0, 0, 0); break;
    case 6: TSL10Command::set_receiver_register_03_bit(device.get(), which >> 3); break;
    default:
        if (auto r = TSL10Command::set_receiver_connection_state(device.get(), which & 8))
            r->wait();
        break;
    }
    device->answer = nullptr;
}

} // namespace

// The outcome of one input (what the bus holds after its reports); the independence check
// compares it across orders of the inputs.
std::string receiver_reports_outcome(const std::uint8_t* data, std::size_t size)
{
    if (size < 2)
        return {};
    if (data[0] % 2 == 0)
        return into_bus(data + 1, size - 1);
    into_decoders(data[1], data + 2, size - 2);
    return {};
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    receiver_reports_outcome(data, size);
    return 0;
}
