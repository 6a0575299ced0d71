#pragma once
#include "core/IDeviceFactory.h"

namespace devio {

// The real makers behind the device manager: the platform bus, the combiner and pairing buses,
// protocol devices and receivers. The process-wide facade uses it; so can a manager of one's own
// (link the `devio` library).
class PlatformDeviceFactory : public IDeviceFactory {
public:
    std::shared_ptr<IHardwareBus> make_platform_bus(std::shared_ptr<IDeviceManager> manager) override;
    std::shared_ptr<IHardwareBus> make_combiner_bus(std::shared_ptr<IDeviceManager> manager,
                                                    std::shared_ptr<IHardwareBus> child) override;
    std::shared_ptr<IHardwareBus> make_pairing_bus(std::shared_ptr<IDeviceManager> manager,
                                                   std::shared_ptr<IHardwareBus> child) override;
    std::shared_ptr<IDevice> make_device(std::shared_ptr<IDeviceManager> manager,
                                         std::shared_ptr<IHardwareDevice> hardware,
                                         std::shared_ptr<Configuration> configuration,
                                         const std::string& cacheDirectory) override;
    std::shared_ptr<IDevice> make_receiver(std::shared_ptr<IDeviceManager> manager,
                                           std::shared_ptr<IHardwareDevice> hardware, std::uint32_t slotCount,
                                           std::shared_ptr<Configuration> configuration) override;
    std::shared_ptr<IHardwareBus> as_bus(const std::shared_ptr<IDevice>& device) override;
    void set_cache_directory(const std::shared_ptr<IDevice>& device, const std::string& directory) override;
    void release_configuration(const std::shared_ptr<IDevice>& device) override;
    void replay_connect(const std::shared_ptr<IDevice>& device) override;
};

} // namespace devio
