#include "bluetooth/PairingBus.h"

#include "core/IRunLoopAccess.h"

namespace devio {

PairingBus::PairingBus(std::shared_ptr<IDeviceManager> manager, std::shared_ptr<IHardwareBus> childBus)
    : m_manager(manager), m_child(std::move(childBus))
{
    // Queued subscribers are served through the manager's run loop.
    if (auto access = std::dynamic_pointer_cast<IRunLoopAccess>(manager))
        set_run_loop(access->get_run_loop());
    else if (manager)
        set_run_loop(std::weak_ptr<IRunLoopManager>(manager));
    // The Bluetooth items in force for this bus's whole life: a change rebuilds the buses.
    if (manager)
        for (int item = 0; item < 4; ++item)
            manager->getConfig(ConfigItem(item), &m_config[item]);
}

PairingBus::~PairingBus() = default;

bool PairingBus::on_subscribe(IHardwareBus::PlugUnplug*)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    if (m_child_subscribed || !m_child)
        return true;
    if (!Subscriber<IHardwareBus::PlugUnplug>::subscribe(m_child, 0, ""))
        return false;
    m_child_subscribed = true;
    return true;
}

std::vector<std::shared_ptr<IHardwareDevice>> PairingBus::enumerate()
{
    if (!m_child)
        return {};
    return m_child->enumerate();
}

// The Bluetooth buses stay below this bus.
std::vector<std::shared_ptr<IBluetoothBus>> PairingBus::getBluetoothBuses() { return {}; }

void PairingBus::setDataDirectory(std::string directory)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    m_data_directory = std::move(directory);
}

void PairingBus::refresh()
{
    if (m_child)
        m_child->refresh();
}

void PairingBus::onPlug(std::shared_ptr<IHardwareDevice> device)
{
    notify([device](IHardwareBus::PlugUnplug* s) { s->onPlug(device); }, "PairingBus::PlugUnplug::onPlug");
}

void PairingBus::onUnplug(std::shared_ptr<IHardwareDevice> device)
{
    notify([device](IHardwareBus::PlugUnplug* s) { s->onUnplug(device); }, "PairingBus::PlugUnplug::onUnplug");
}

void PairingBus::onPowerChange(bool on)
{
    notify([on](IHardwareBus::PlugUnplug* s) { s->onPowerChange(on); }, "PairingBus::PlugUnplug::onPowerChange");
}

} // namespace devio
