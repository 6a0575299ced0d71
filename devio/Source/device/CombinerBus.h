#pragma once
#include "core/IHardwareBus.h"
#include "core/Producer.h"
#include "core/Subscriber.h"

#include <map>
#include <memory>
#include <string>
#include <vector>

namespace devio {

class CombinerDevice;
class IDeviceManager;

// Sits over the HID bus: collections that carry every report kind pass through, the others
// are gathered per physical device into one CombinerDevice, announced once it is complete.
class CombinerBus : public IHardwareBus,
                    public Producer<IHardwareBus::PlugUnplug>,
                    public Subscriber<IHardwareBus::PlugUnplug>,
                    public std::enable_shared_from_this<CombinerBus> {
public:
    static std::shared_ptr<CombinerBus> create(std::shared_ptr<IDeviceManager> manager,
                                               std::shared_ptr<IHardwareBus> child);
    CombinerBus(std::shared_ptr<IDeviceManager> manager, std::shared_ptr<IHardwareBus> child);
    ~CombinerBus() override;

    std::vector<std::shared_ptr<IHardwareDevice>> enumerate() override;
    std::vector<std::shared_ptr<IBluetoothBus>> getBluetoothBuses() override;
    std::vector<std::shared_ptr<IHardwareBus>> getSecondaryBuses() override;

    void onPlug(std::shared_ptr<IHardwareDevice> device) override;
    void onUnplug(std::shared_ptr<IHardwareDevice> device) override;
    void onPowerChange(bool on) override;

protected:
    bool on_subscribe(IHardwareBus::PlugUnplug* subscriber) override;

private:
    void subscribe_child();

    std::shared_ptr<IHardwareBus> m_child;
    std::weak_ptr<IDeviceManager> m_manager;
    // One combined device per physical device, ordered by path.
    std::map<std::string, std::shared_ptr<CombinerDevice>> m_devices;
};

} // namespace devio
