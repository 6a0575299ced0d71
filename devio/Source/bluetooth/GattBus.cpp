#include "bluetooth/GattBus.h"

#include "bluetooth/GattDevice.h"
#include "Windows/Win32Bus.h"
#include "Windows/Win32System.h"

#include <dbt.h>

namespace devio {

const GUID kProtocolServiceUuid = {0x00010000, 0x0000, 0x1000, {0x80, 0x00, 0x01, 0x1F, 0x20, 0x00, 0x7E, 0x51}};

GattBus::GattBus(std::shared_ptr<Win32Bus> parent) : m_parent(parent)
{
    if (parent)
        set_run_loop(parent->Producer<IHardwareBus::PlugUnplug>::get_run_loop());
}

GattBus::~GattBus()
{
    if (m_notification != reinterpret_cast<HDEVNOTIFY>(INVALID_HANDLE_VALUE) && m_notification)
        ::UnregisterDeviceNotification(m_notification);
}

bool GattBus::start()
{
    std::lock_guard<std::mutex> lock(m_start_mutex);
    if (m_started)
        return true;
    auto parent = m_parent.lock();
    if (!parent) {
        set_last_error(72);
        return false;
    }
    try {
        parent->start(&m_window, &m_system);
    } catch (const DevioException& e) {
        e.to_last_error();
        return false;
    }
    DEV_BROADCAST_DEVICEINTERFACE_W filter{};
    filter.dbcc_size = sizeof filter;
    filter.dbcc_devicetype = DBT_DEVTYP_DEVICEINTERFACE;
    filter.dbcc_classguid = kProtocolServiceUuid;
    m_notification = m_system->RegisterDeviceNotificationW(m_window, &filter, DEVICE_NOTIFY_WINDOW_HANDLE);
    m_started = true;
    return true;
}

bool GattBus::on_subscribe(IHardwareBus::PlugUnplug*)
{
    try {
        return start();
    } catch (const DevioException& e) {
        e.to_last_error();
        return false;
    }
}

std::vector<std::string> GattBus::list_interfaces()
{
    return present_interface_paths(*m_system, kProtocolServiceUuid);
}

std::vector<std::shared_ptr<IHardwareDevice>> GattBus::enumerate()
{
    std::vector<std::shared_ptr<IHardwareDevice>> result;
    try {
        // A failed start leaves no system table to list with: its record is the answer.
        if (!start())
            return result;
        for (const auto& path : list_interfaces()) {
            auto device = std::make_shared<GattDevice>(shared_from_this(), m_parent, m_system, path);
            if (device->open()) {
                device->close();
                result.push_back(device);
            }
        }
    } catch (const DevioException& e) {
        e.to_last_error();
        return {};
    }
    if (result.empty())
        set_last_error(0);
    return result;
}

bool GattBus::isDevicePresent(const std::string& path)
{
    for (const auto& device : enumerate())
        if (device->getPath() == path)
            return true;
    unplugPath(path);
    return false;
}

void GattBus::unplugPath(const std::string& path)
{
    std::shared_ptr<IHardwareDevice> device = std::make_shared<GattDevice>(shared_from_this(), m_parent, m_system, path);
    notify([device](IHardwareBus::PlugUnplug* s) { s->onUnplug(device); }, "GattBus::PlugUnplug::onUnplug");
}

void GattBus::onDeviceChange(std::uint32_t event, const DEV_BROADCAST_HDR* header)
{
    if (!header)
        return;
    const bool arrival = event == DBT_DEVICEARRIVAL || event == DBT_DEVICEQUERYREMOVEFAILED;
    const bool removal =
        event == DBT_DEVICEQUERYREMOVE || event == DBT_DEVICEREMOVEPENDING || event == DBT_DEVICEREMOVECOMPLETE;
    if (!arrival && !removal)
        return;
    if (header->dbch_devicetype != DBT_DEVTYP_DEVICEINTERFACE ||
        header->dbch_size < sizeof(DEV_BROADCAST_DEVICEINTERFACE_W))
        return;
    const auto* iface = reinterpret_cast<const DEV_BROADCAST_DEVICEINTERFACE_W*>(header);
    if (!(iface->dbcc_classguid == kProtocolServiceUuid))
        return;
    const std::string path = wide_to_lower_utf8(iface->dbcc_name);
    std::shared_ptr<GattBus> self;
    try {
        self = shared_from_this();
    } catch (const std::bad_weak_ptr&) {
        return;
    }
    std::shared_ptr<IHardwareDevice> device = std::make_shared<GattDevice>(self, m_parent, m_system, path);
    if (arrival)
        notify([device](IHardwareBus::PlugUnplug* s) { s->onPlug(device); }, "GattBus::PlugUnplug::onPlug");
    else
        notify([device](IHardwareBus::PlugUnplug* s) { s->onUnplug(device); }, "GattBus::PlugUnplug::onUnplug");
}

} // namespace devio
