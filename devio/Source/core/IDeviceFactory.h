#pragma once
#include "core/Configuration.h"

#include <cstdint>
#include <memory>
#include <string>

namespace devio {

class IDevice;
class IDeviceManager;
class IHardwareBus;
class IHardwareDevice;

// What the device manager makes and asks of the objects of other subsystems. The real one
// (platform bus, combiner, pairing bus, devices, receivers) is wired by the devio library;
// tests give fakes.
class IDeviceFactory {
public:
    virtual ~IDeviceFactory() = default;

    virtual std::shared_ptr<IHardwareBus> make_platform_bus(std::shared_ptr<IDeviceManager> manager) = 0;
    virtual std::shared_ptr<IHardwareBus> make_combiner_bus(std::shared_ptr<IDeviceManager> manager,
                                                            std::shared_ptr<IHardwareBus> child) = 0;
    virtual std::shared_ptr<IHardwareBus> make_pairing_bus(std::shared_ptr<IDeviceManager> manager,
                                                           std::shared_ptr<IHardwareBus> child) = 0;
    // A protocol device, made, initDevice'd and given its cache directory.
    virtual std::shared_ptr<IDevice> make_device(std::shared_ptr<IDeviceManager> manager,
                                                 std::shared_ptr<IHardwareDevice> hardware,
                                                 std::shared_ptr<Configuration> configuration,
                                                 const std::string& cacheDirectory) = 0;
    // A receiver bus with slotCount slots, made and initDevice'd.
    virtual std::shared_ptr<IDevice> make_receiver(std::shared_ptr<IDeviceManager> manager,
                                                   std::shared_ptr<IHardwareDevice> hardware, std::uint32_t slotCount,
                                                   std::shared_ptr<Configuration> configuration) = 0;

    // The bus side of a receiver device; empty for other devices.
    virtual std::shared_ptr<IHardwareBus> as_bus(const std::shared_ptr<IDevice>& device) = 0;
    virtual void set_cache_directory(const std::shared_ptr<IDevice>& device, const std::string& directory) = 0;
    virtual void release_configuration(const std::shared_ptr<IDevice>& device) = 0;
    virtual void replay_connect(const std::shared_ptr<IDevice>& device) = 0;
};

} // namespace devio
