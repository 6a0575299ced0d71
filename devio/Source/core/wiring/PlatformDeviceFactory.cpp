// The real makers behind the device manager, and the process-wide facade that uses them.
#include "bluetooth/PairingBus.h"
#include "core/CDevio.h"
#include "core/IDeviceFactory.h"
#include "device/CombinerBus.h"
#include "device/Device.h"
#include "Windows/RavelinBus.h"
#include "Windows/Win32Bus.h"

namespace devio {

namespace {

class PlatformDeviceFactory : public IDeviceFactory {
public:
    std::shared_ptr<IHardwareBus> make_platform_bus(std::shared_ptr<IDeviceManager> manager) override
    {
        return devio::make_platform_bus(std::move(manager));
    }

    std::shared_ptr<IHardwareBus> make_combiner_bus(std::shared_ptr<IDeviceManager> manager,
                                                    std::shared_ptr<IHardwareBus> child) override
    {
        return CombinerBus::create(std::move(manager), std::move(child));
    }

    std::shared_ptr<IHardwareBus> make_pairing_bus(std::shared_ptr<IDeviceManager> manager,
                                                   std::shared_ptr<IHardwareBus> child) override
    {
        return std::make_shared<PairingBus>(std::move(manager), std::move(child));
    }

    std::shared_ptr<IDevice> make_device(std::shared_ptr<IDeviceManager> manager,
                                         std::shared_ptr<IHardwareDevice> hardware,
                                         std::shared_ptr<Configuration> configuration,
                                         const std::string& cacheDirectory) override
    {
        std::shared_ptr<Device> device = Device::create(manager, std::move(hardware), std::move(configuration));
        if (!device)
            return nullptr;
        device->initDevice(manager);
        device->set_cache_directory(cacheDirectory);
        return device;
    }

    std::shared_ptr<IDevice> make_receiver(std::shared_ptr<IDeviceManager> manager,
                                           std::shared_ptr<IHardwareDevice> hardware, std::uint32_t slotCount,
                                           std::shared_ptr<Configuration> configuration) override
    {
        std::shared_ptr<RavelinBus> receiver =
            RavelinBus::create(manager, std::move(hardware), slotCount, std::move(configuration));
        if (!receiver)
            return nullptr;
        receiver->initDevice(manager);
        return receiver;
    }

    std::shared_ptr<IHardwareBus> as_bus(const std::shared_ptr<IDevice>& device) override
    {
        return std::dynamic_pointer_cast<IHardwareBus>(device);
    }

    void set_cache_directory(const std::shared_ptr<IDevice>& device, const std::string& directory) override
    {
        if (auto d = std::dynamic_pointer_cast<Device>(device))
            d->set_cache_directory(directory);
    }

    void release_configuration(const std::shared_ptr<IDevice>& device) override
    {
        if (device)
            device->release_configuration();
    }

    void replay_connect(const std::shared_ptr<IDevice>& device) override
    {
        if (device)
            device->replay_connect();
    }
};

} // namespace

CDevio& CDevio::instance()
{
    static CDevio facade([] { return std::make_shared<DeviceManager>(std::make_shared<PlatformDeviceFactory>()); });
    return facade;
}

} // namespace devio
