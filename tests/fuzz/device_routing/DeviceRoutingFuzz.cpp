// Input reports into a device's reply routing, as a device or a receiver relaying for it may send
// them: notifications for discovered features, replies nobody asked for, error replies, reports
// too short to judge. The device is a simulated keyboard, discovered once.
//
// Input: reports, each as [flags, length] + bytes (flags bit 0: relayed by a receiver).
#include "devio/device/HostManager.h"

#include "core/Timing.h"
#include "device/Device.h"
#include "devices/SimHardwareDevice.h"
#include "devices/SimProtocolDevice.h"

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <memory>
#include <vector>

namespace {

struct RoutingRig {
    RoutingRig()
    {
        devio::Timing::setScale(1, 100);
        manager = devio::test::HostManager::create();
        model = std::make_shared<platform::sim::SimProtocolDevice>(platform::sim::sim_keyboard_config());
        hardware = platform::sim::SimHardwareDevice::create(model, std::weak_ptr<devio::IRunLoopManager>(manager),
                                                            "sim\\keyboard\\1");
        device = devio::Device::create(manager, hardware, manager->config());
        device->initDevice(manager);
        device->attach();
        // Discovery (protocol, feature table) so that notifications reach real feature objects.
        if (!device->getFeatureSync(0x0003) || !device->getFeatureSync(0x1000) || !device->getFeatureSync(0x1D4B))
            std::abort();
    }
    ~RoutingRig()
    {
        device.reset();
        hardware.reset();
        manager->shutdown();
    }
    std::shared_ptr<devio::test::HostManager> manager;
    std::shared_ptr<platform::sim::SimProtocolDevice> model;
    std::shared_ptr<platform::sim::SimHardwareDevice> hardware;
    std::shared_ptr<devio::Device> device;
};

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    static RoutingRig rig;
    std::size_t at = 0;
    while (at + 2 <= size) {
        const bool relayed = data[at] & 1;
        const std::size_t length = std::min<std::size_t>(data[at + 1], size - at - 2);
        std::vector<devio::Byte> report(data + at + 2, data + at + 2 + length);
        at += 2 + length;
        rig.device->onRead(report, relayed, 0, static_cast<unsigned>(report.size()));
    }
    return 0;
}
