#include "wiring/PlatformDeviceFactory.h"

#include "bluetooth/BluetoothMakers.h"
#include "bluetooth/PairingBus.h"
#include "core/CDevio.h"
#include "device/CombinerBus.h"
#include "device/Device.h"
#include "Windows/RavelinBus.h"
#include "Windows/Win32Bus.h"

#include <mutex>

namespace devio {

std::shared_ptr<IHardwareBus> PlatformDeviceFactory::make_platform_bus(std::shared_ptr<IDeviceManager> manager)
{
    static std::once_flag bluetooth;
    std::call_once(bluetooth, [] { Win32Bus::setBluetoothMakers(bluetooth_bus_makers()); });
    return devio::make_platform_bus(std::move(manager));
}

std::shared_ptr<IHardwareBus> PlatformDeviceFactory::make_combiner_bus(std::shared_ptr<IDeviceManager> manager,
                                                                       std::shared_ptr<IHardwareBus> child)
{
    return CombinerBus::create(std::move(manager), std::move(child));
}

std::shared_ptr<IHardwareBus> PlatformDeviceFactory::make_pairing_bus(std::shared_ptr<IDeviceManager> manager,
                                                                      std::shared_ptr<IHardwareBus> child)
{
    return std::make_shared<PairingBus>(std::move(manager), std::move(child));
}

std::shared_ptr<IDevice> PlatformDeviceFactory::make_device(std::shared_ptr<IDeviceManager> manager,
                                                            std::shared_ptr<IHardwareDevice> hardware,
                                                            std::shared_ptr<Configuration> configuration,
                                                            const std::string& cacheDirectory)
{
    std::shared_ptr<Device> device = Device::create(manager, std::move(hardware), std::move(configuration));
    if (!device)
        return nullptr;
    device->initDevice(manager);
    device->set_cache_directory(cacheDirectory);
    return device;
}

std::shared_ptr<IDevice> PlatformDeviceFactory::make_receiver(std::shared_ptr<IDeviceManager> manager,
                                                              std::shared_ptr<IHardwareDevice> hardware,
                                                              std::uint32_t slotCount,
                                                              std::shared_ptr<Configuration> configuration)
{
    std::shared_ptr<RavelinBus> receiver =
        RavelinBus::create(manager, std::move(hardware), slotCount, std::move(configuration));
    if (!receiver)
        return nullptr;
    receiver->initDevice(manager);
    return receiver;
}

std::shared_ptr<IHardwareBus> PlatformDeviceFactory::as_bus(const std::shared_ptr<IDevice>& device)
{
    return std::dynamic_pointer_cast<IHardwareBus>(device);
}

void PlatformDeviceFactory::set_cache_directory(const std::shared_ptr<IDevice>& device, const std::string& directory)
{
    if (auto d = std::dynamic_pointer_cast<Device>(device))
        d->set_cache_directory(directory);
}

void PlatformDeviceFactory::release_configuration(const std::shared_ptr<IDevice>& device)
{
    if (device)
        device->release_configuration();
}

void PlatformDeviceFactory::replay_connect(const std::shared_ptr<IDevice>& device)
{
    if (device)
        device->replay_connect();
}

CDevio& CDevio::instance()
{
    static CDevio facade([] { return std::make_shared<DeviceManager>(std::make_shared<PlatformDeviceFactory>()); });
    return facade;
}

} // namespace devio
