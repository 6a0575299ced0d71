#pragma once
#include "core/IDeviceManager.h"
#include "core/IHardwareBus.h"
#include "core/IHardwareDevice.h"
#include "core/Producer.h"

#include <memory>
#include <mutex>
#include <string>
#include <vector>

namespace devio {

// Bus over the platform bus that passes on its child's plug events (taken through the run
// loop) and devices. Remembered Bluetooth devices come with the Bluetooth transports.
class PairingBus : public IHardwareBus,
                   public Producer<IHardwareBus::PlugUnplug>,
                   public Subscriber<IHardwareBus::PlugUnplug>,
                   public std::enable_shared_from_this<PairingBus> {
public:
    PairingBus(std::shared_ptr<IDeviceManager> manager, std::shared_ptr<IHardwareBus> childBus);
    ~PairingBus() override;

    std::vector<std::shared_ptr<IHardwareDevice>> enumerate() override;
    std::vector<std::shared_ptr<IBluetoothBus>> getBluetoothBuses() override;
    void setDataDirectory(std::string directory) override;
    void refresh() override;

    void onPlug(std::shared_ptr<IHardwareDevice> device) override;
    void onUnplug(std::shared_ptr<IHardwareDevice> device) override;
    void onPowerChange(bool on) override;

    std::shared_ptr<IHardwareBus> child() const { return m_child; }

protected:
    // The first subscriber starts the child.
    bool on_subscribe(IHardwareBus::PlugUnplug* subscriber) override;

private:
    std::weak_ptr<IDeviceManager> m_manager;
    std::shared_ptr<IHardwareBus> m_child;
    std::mutex m_mutex;
    bool m_child_subscribed = false;
    std::string m_data_directory;
    bool m_config[4] = {}; // items 0 to 3 when the bus was made
};

} // namespace devio
