#include "device/CombinerBus.h"

#include "core/ErrorRecord.h"
#include "core/IDeviceManager.h"
#include "core/IHardwareDevice.h"
#include "device/CombinerDevice.h"

#include <vector>

namespace devio {

std::shared_ptr<CombinerBus> CombinerBus::create(std::shared_ptr<IDeviceManager> manager,
                                                 std::shared_ptr<IHardwareBus> child)
{
    return std::make_shared<CombinerBus>(std::move(manager), std::move(child));
}

CombinerBus::CombinerBus(std::shared_ptr<IDeviceManager> manager, std::shared_ptr<IHardwareBus> child)
    : m_child(std::move(child)), m_manager(manager)
{
    set_run_loop(std::weak_ptr<IRunLoopManager>(manager));
}

CombinerBus::~CombinerBus() = default;

void CombinerBus::subscribe_child()
{
    Subscriber<IHardwareBus::PlugUnplug>::subscribe(m_child, 0, "");
}

bool CombinerBus::on_subscribe(IHardwareBus::PlugUnplug*)
{
    subscribe_child();
    return true;
}

std::vector<std::shared_ptr<IBluetoothBus>> CombinerBus::getBluetoothBuses() { return m_child->getBluetoothBuses(); }

std::vector<std::shared_ptr<IHardwareBus>> CombinerBus::getSecondaryBuses() { return m_child->getSecondaryBuses(); }

std::vector<std::shared_ptr<IHardwareDevice>> CombinerBus::enumerate()
{
    subscribe_child();
    const auto children = m_child->enumerate();
    std::vector<std::shared_ptr<IHardwareDevice>> result;
    for (const auto& entry : m_devices)
        if (entry.second->is_complete())
            result.push_back(entry.second);
    for (const auto& child : children) {
        if (child->getUsage() == child->getProtocolKind()) {
            result.push_back(child);
            continue;
        }
        auto combined = std::make_shared<CombinerDevice>(child, std::weak_ptr<IHardwareBus>(shared_from_this()));
        auto it = m_devices.find(combined->getPath());
        bool wasComplete = false;
        if (it != m_devices.end()) {
            wasComplete = it->second->is_complete();
            if (!it->second->add_member(child))
                return {};
            combined = it->second;
        } else {
            m_devices.emplace(combined->getPath(), combined);
        }
        if (combined->is_complete() && !wasComplete) {
            result.push_back(combined);
            std::shared_ptr<IHardwareDevice> announced = combined;
            Producer<IHardwareBus::PlugUnplug>::notify([announced](IHardwareBus::PlugUnplug* s) { s->onPlug(announced); },
                                                       "CombinerBus::PlugUnplug::onPlug");
        }
    }
    return result;
}

void CombinerBus::onPlug(std::shared_ptr<IHardwareDevice> device)
{
    if (!device || !device->open())
        return;
    if (device->getUsage() == device->getProtocolKind()) {
        Producer<IHardwareBus::PlugUnplug>::notify([device](IHardwareBus::PlugUnplug* s) { s->onPlug(device); },
                                                   "CombinerBus::PlugUnplug::onPlug");
        return;
    }
    if (enumerate().empty() && last_error().code != 0) {
        if (auto manager = m_manager.lock())
            manager->reportError("CombinerBus::onPlug");
    }
}

void CombinerBus::onUnplug(std::shared_ptr<IHardwareDevice> device)
{
    Producer<IHardwareBus::PlugUnplug>::notify([device](IHardwareBus::PlugUnplug* s) { s->onUnplug(device); },
                                               "CombinerBus::PlugUnplug::onUnplug");
    // Published after the walk: a direct subscriber may come back into the bus (enumerate) and
    // must not change the map under it.
    std::vector<std::shared_ptr<IHardwareDevice>> incomplete;
    for (auto it = m_devices.begin(); it != m_devices.end();) {
        auto combined = it->second;
        const bool wasComplete = combined->is_complete();
        const bool empty = combined->remove_member(device);
        it = empty ? m_devices.erase(it) : std::next(it);
        if (wasComplete && !combined->is_complete())
            incomplete.push_back(combined);
    }
    for (const auto& gone : incomplete)
        Producer<IHardwareBus::PlugUnplug>::notify([gone](IHardwareBus::PlugUnplug* s) { s->onUnplug(gone); },
                                                   "CombinerBus::PlugUnplug::onUnplug");
}

void CombinerBus::onPowerChange(bool on)
{
    Producer<IHardwareBus::PlugUnplug>::notify([on](IHardwareBus::PlugUnplug* s) { s->onPowerChange(on); },
                                               "CombinerBus::PlugUnplug::onPowerChange");
}

} // namespace devio
