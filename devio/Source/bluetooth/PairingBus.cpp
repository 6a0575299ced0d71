#include "bluetooth/PairingBus.h"

#include "bluetooth/PairedFile.h"
#include "bluetooth/PairingDevice.h"
#include "core/IRunLoopAccess.h"
#include "device/DataFile.h"

namespace devio {

namespace {

constexpr char kUnwritableEntry[] = "paired.xml entry with a control character";
constexpr char kUnreadFile[] = "paired.xml could not be read";
constexpr char kKeptFile[] = "paired.xml that could not be read is not saved over";
constexpr char kUnwrittenFile[] = "paired.xml could not be written";

} // namespace

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

PairingBus::~PairingBus()
{
    Subscriber<IHardwareBus::PlugUnplug>::stop_deliveries();
}

std::vector<std::shared_ptr<IHardwareBus>> PairingBus::secondary_buses()
{
    if (!m_child || !secondaries_used())
        return {};
    return m_child->getSecondaryBuses();
}

std::shared_ptr<IBluetoothDevice> PairingBus::find_bluetooth_device(const std::string& path)
{
    if (!m_child)
        return nullptr;
    for (const auto& bus : m_child->getBluetoothBuses())
        if (bus)
            if (auto live = bus->findDevice(path))
                return live;
    return nullptr;
}

bool PairingBus::route_channel(const std::shared_ptr<IBluetoothDevice>& live,
                               const std::shared_ptr<IHardwareDevice>& hardware)
{
    if (!live || live->getTransport() != BluetoothLowEnergy)
        return false;
    const bool gatt = hardware->getTransportType() == TransportGatt;
    if (m_config[3] ? gatt : !gatt)
        return false;
    if (!m_config[2])
        return true;  // taken as a channel and dropped
    const std::string address = live->getAddressText();
    std::lock_guard<std::recursive_mutex> lock(m_mutex);
    for (const auto& entry : m_remembered) {
        auto other = entry.second->live();
        if (other && other->getAddressText() == address) {
            entry.second->attach_secondary(hardware);
            return true;
        }
    }
    m_parked[address] = hardware;
    return true;
}

void PairingBus::attach_parked_channel(const std::shared_ptr<PairingDevice>& device)
{
    auto live = device->live();
    if (!m_config[2] || !live || live->getTransport() != BluetoothLowEnergy)
        return;
    std::shared_ptr<IHardwareDevice> channel;
    {
        std::lock_guard<std::recursive_mutex> lock(m_mutex);
        auto it = m_parked.find(live->getAddressText());
        if (it == m_parked.end())
            return;
        channel = std::move(it->second);
        m_parked.erase(it);
    }
    device->attach_secondary(channel);
}

void PairingBus::park_channel(const std::shared_ptr<PairingDevice>& device)
{
    auto live = device->live();
    if (!live)
        return;
    if (auto channel = device->detach_secondary(nullptr)) {
        std::lock_guard<std::recursive_mutex> lock(m_mutex);
        m_parked[live->getAddressText()] = channel;
    }
}

void PairingBus::release_channel(const std::shared_ptr<IHardwareDevice>& hardware)
{
    if (!m_config[2])
        return;
    // Removals may carry a placeholder object: the path identifies the channel.
    const std::string path = hardware->getPath();
    std::vector<std::shared_ptr<PairingDevice>> devices;
    {
        std::lock_guard<std::recursive_mutex> lock(m_mutex);
        for (auto it = m_parked.begin(); it != m_parked.end();)
            if (it->second && it->second->getPath() == path)
                it = m_parked.erase(it);
            else
                ++it;
        for (const auto& entry : m_remembered)
            devices.push_back(entry.second);
    }
    for (const auto& device : devices)
        device->detach_secondary(hardware);
}

bool PairingBus::is_remembered(const std::string& path) const
{
    std::lock_guard<std::recursive_mutex> lock(m_mutex);
    return m_remembered.count(path) != 0;
}

std::shared_ptr<PairingDevice> PairingBus::remember_device(const std::shared_ptr<IHardwareDevice>& hardware,
                                                           std::shared_ptr<IBluetoothDevice> live)
{
    // Made without the lock (see m_mutex); a path another thread remembered meanwhile keeps its device.
    auto device = PairingDevice::create(shared_from_this(), hardware, hardware->getPath(), hardware->getProductId(),
                                        hardware->getName(), std::move(live), kUnknownRadio,
                                        hardware->getTransportType());
    std::lock_guard<std::recursive_mutex> lock(m_mutex);
    if (!m_remembered.emplace(device->getPath(), device).second)
        return nullptr;
    attach_parked_channel(device);
    publish_plug(device);
    return device;
}

void PairingBus::publish_plug(const std::shared_ptr<PairingDevice>& device)
{
    if (!device->is_available())
        return;
    std::shared_ptr<IHardwareDevice> hardware = device;
    notify([hardware](IHardwareBus::PlugUnplug* s) { s->onPlug(hardware); }, "PairingBus::PlugUnplug::onPlug");
}

void PairingBus::publish_unplug(const std::shared_ptr<PairingDevice>& device)
{
    std::shared_ptr<IHardwareDevice> hardware = device;
    notify([hardware](IHardwareBus::PlugUnplug* s) { s->onUnplug(hardware); }, "PairingBus::PlugUnplug::onUnplug");
}

void PairingBus::report_error(const char* context)
{
    if (auto manager = m_manager.lock())
        manager->reportError(context);
}

std::vector<std::shared_ptr<PairingDevice>> PairingBus::remembered() const
{
    std::lock_guard<std::recursive_mutex> lock(m_mutex);
    std::vector<std::shared_ptr<PairingDevice>> out;
    for (const auto& entry : m_remembered)
        out.push_back(entry.second);
    return out;
}

std::string PairingBus::paired_file_path() const
{
    std::lock_guard<std::recursive_mutex> lock(m_mutex);
    return m_file;
}

std::vector<std::shared_ptr<IHardwareDevice>> PairingBus::enumerate()
{
    if (!m_child)
        return {};
    if (!Subscriber<IHardwareBus::PlugUnplug>::subscribe(m_child, 0, ""))
        return {};
    const auto secondaries = secondary_buses();
    for (const auto& bus : secondaries) {
        try {
            if (!Subscriber<IHardwareBus::PlugUnplug>::subscribe(bus, 0, ""))
                return {};
        } catch (const std::exception&) {
        }
    }

    set_last_error(0);
    std::vector<std::shared_ptr<IHardwareDevice>> found = m_child->enumerate();
    ErrorRecord kept;
    if (found.empty())
        kept = last_error_record();
    for (const auto& bus : secondaries) {
        try {
            auto more = bus->enumerate();
            if (more.empty() && kept.code == 0)
                kept = last_error_record();
            found.insert(found.end(), more.begin(), more.end());
        } catch (const std::exception&) {
        }
    }

    read_unread_file();
    bool changed = false;
    for (const auto& hardware : found) {
        if (!hardware || is_remembered(hardware->getPath()))
            continue;
        auto live = find_bluetooth_device(hardware->getPath());
        if (route_channel(live, hardware))
            continue;
        if (remember_device(hardware, std::move(live)))
            changed = true;
    }
    std::vector<std::shared_ptr<IHardwareDevice>> result;
    {
        std::lock_guard<std::recursive_mutex> lock(m_mutex);
        for (const auto& entry : m_remembered)
            if (entry.second->is_available())
                result.push_back(entry.second);
        if (changed)
            save();
    }
    set_last_error(kept);
    return result;
}

void PairingBus::setDataDirectory(std::string directory)
{
    std::string file;
    {
        std::lock_guard<std::recursive_mutex> lock(m_mutex);
        m_file_unread = false;
        if (directory.empty()) {
            m_file.clear();
            return;
        }
        m_file = directory + "paired.xml";
        m_file_unread = true;
        file = m_file;
    }
    if (!read_file(file)) {
        bool unread = false;
        std::uint32_t error = 0;
        {
            std::lock_guard<std::recursive_mutex> lock(m_mutex);
            unread = m_file_unread && m_file == file;
            error = m_read_error;
        }
        if (unread) {
            set_last_error(1, error, kUnreadFile);
            report_error("PairingBus::setDataDirectory");
        }
        return;
    }
    save();
}

bool PairingBus::read_file(const std::string& file)
{
    std::string text;
    std::uint32_t error = 0;
    const DataFileRead result = read_data_file(file, text, &error);
    if (result == DataFileRead::Unreadable) {
        std::lock_guard<std::recursive_mutex> lock(m_mutex);
        if (m_file == file)
            m_read_error = error;
        return false;
    }
    if (result == DataFileRead::Read) {
        // A damaged file loses nothing: what it made stays, and it is not overwritten now.
        try {
            load(text);
        } catch (const PairedFileError& e) {
            mark_read(file);
            set_last_error(1, 0, e.text());
            report_error("PairingBus::setDataDirectory");
            return false;
        }
    }
    // Only now may a save replace the file: it holds what the file held.
    mark_read(file);
    return true;
}

void PairingBus::mark_read(const std::string& file)
{
    std::lock_guard<std::recursive_mutex> lock(m_mutex);
    if (m_file == file)
        m_file_unread = false;
}

void PairingBus::read_unread_file()
{
    std::string file;
    {
        std::lock_guard<std::recursive_mutex> lock(m_mutex);
        if (!m_file_unread)
            return;
        file = m_file;
    }
    read_file(file);
}

void PairingBus::load(const std::string& text)
{
    for (const PairedEntry& entry : parse_paired_file(text)) {
        // A control character (a character reference brings one in) could not be saved so that it
        // reads back; the other entries still load.
        if (!paired_entry_writable(entry)) {
            set_last_error(1, 0, kUnwritableEntry);
            report_error("PairingBus::setDataDirectory");
            continue;
        }
        const std::uint32_t kindHint = entry.interfaceName == "blepp" ? std::uint32_t(TransportGatt) : 0u;
        {
            std::lock_guard<std::recursive_mutex> lock(m_mutex);
            auto known = m_remembered.find(entry.path);
            if (known != m_remembered.end()) {
                known->second->set_name_if_empty(entry.name);
                continue;
            }
        }
        auto live = find_bluetooth_device(entry.path);
        if (!live)
            continue;
        if (live->getTransport() == BluetoothLowEnergy && m_config[3] != (entry.interfaceName == "blepp"))
            continue;
        // A product id that does not read costs only its own entry: ending the load here would
        // drop the entries after it from the file at the next save.
        std::uint32_t productId = 0;
        try {
            productId = parse_paired_pid(entry.pid);
        } catch (const std::exception& e) {
            set_last_error(1, 0, e.what());
            report_error("PairingBus::setDataDirectory");
            continue;
        }
        // Made and asked without the lock (see m_mutex).
        auto device = PairingDevice::create(shared_from_this(), nullptr, entry.path, productId, entry.name,
                                            std::move(live), entry.radio, kindHint);
        if (device->verify_pairing())
            continue;
        std::lock_guard<std::recursive_mutex> lock(m_mutex);
        if (m_remembered.emplace(entry.path, device).second)
            publish_plug(device);
    }
}

void PairingBus::save()
{
    std::lock_guard<std::recursive_mutex> lock(m_mutex);
    if (m_file.empty())
        return;
    // Saving over a file that was never read would lose every device it remembers.
    if (m_file_unread) {
        set_last_error(1, m_read_error, kKeptFile);
        report_error("PairingBus::save");
        return;
    }
    std::vector<PairedEntry> entries;
    for (const auto& item : m_remembered) {
        const auto& device = item.second;
        const std::string radio = device->radio();
        if (!device->live() || radio.empty())
            continue;
        PairedEntry entry;
        entry.path = item.first;
        entry.pid = format_paired_pid(device->getProductId());
        entry.name = device->getName();
        entry.radio = radio;
        entry.interfaceName = device->getTransportType() != TransportBluetoothLE ? "bluetooth"
                              : device->low_energy_gatt()                       ? "blepp"
                                                                                : "bletessel";
        if (!paired_entry_writable(entry)) {
            set_last_error(1, 0, kUnwritableEntry);
            report_error("PairingBus::save");
            continue;
        }
        entries.push_back(std::move(entry));
    }
    std::uint32_t error = 0;
    if (!write_data_file(m_file, print_paired_file(entries), &error)) {
        set_last_error(1, error, kUnwrittenFile);
        report_error("PairingBus::save");
    }
}

void PairingBus::onPlug(std::shared_ptr<IHardwareDevice> hardware)
{
    if (!hardware || !hardware->open())
        return;
    read_unread_file();
    const std::string path = hardware->getPath();
    if (!is_remembered(path)) {
        auto live = find_bluetooth_device(path);
        if (route_channel(live, hardware))
            return;
        remember_device(hardware, std::move(live));
    }
    std::lock_guard<std::recursive_mutex> lock(m_mutex);
    auto it = m_remembered.find(path);
    if (it != m_remembered.end() && it->second->live())
        it->second->attach_primary(hardware);
    save();
}

void PairingBus::onUnplug(std::shared_ptr<IHardwareDevice> hardware)
{
    if (!hardware)
        return;
    read_unread_file();
    std::lock_guard<std::recursive_mutex> lock(m_mutex);
    const std::string path = hardware->getPath();
    auto it = m_remembered.find(path);
    if (it != m_remembered.end()) {
        auto device = it->second;
        if (!device->live()) {
            publish_unplug(device);
            m_remembered.erase(device->getPath());
        } else if (device->is_available()) {
            device->detach_primary();
        } else if (!device->radio().empty()) {
            device->detach_primary();
            publish_unplug(device);
        } else {
            park_channel(device);
            m_remembered.erase(path);
            publish_unplug(device);
        }
    }
    release_channel(hardware);
    save();
}

void PairingBus::onPowerChange(bool on)
{
    notify([on](IHardwareBus::PlugUnplug* s) { s->onPowerChange(on); }, "PairingBus::PlugUnplug::onPowerChange");
}

void PairingBus::onRadioArrival(std::string radioPath)
{
    std::lock_guard<std::recursive_mutex> lock(m_mutex);
    std::vector<std::string> gone;
    for (const auto& entry : m_remembered) {
        const auto& device = entry.second;
        if (!device->live())
            continue;
        if (device->verify_pairing())
            gone.push_back(entry.first);
        else if (device->radio() == radioPath)
            notify([device](IHardwareBus::PlugUnplug* s) { s->onPlug(device); }, "PairingBus::PlugUnplug::onPlug");
    }
    for (const auto& path : gone) {
        auto it = m_remembered.find(path);
        if (it == m_remembered.end())
            continue;
        park_channel(it->second);
        m_remembered.erase(it);
        save();
    }
}

void PairingBus::onRadioRemoval(std::string radioPath)
{
    std::lock_guard<std::recursive_mutex> lock(m_mutex);
    for (const auto& entry : m_remembered) {
        const auto& device = entry.second;
        if (device->live() && device->radio() == radioPath && !device->is_available())
            publish_unplug(device);
    }
}

void PairingBus::on_unpair(const std::shared_ptr<PairingDevice>& device)
{
    if (!device->live())
        return;
    std::lock_guard<std::recursive_mutex> lock(m_mutex);
    if (!device->is_available()) {
        publish_unplug(device);
        if (device->radio().empty()) {
            park_channel(device);
            auto it = m_remembered.find(device->getPath());
            if (it != m_remembered.end() && it->second == device)
                m_remembered.erase(it);
        }
    }
    save();
}

void PairingBus::refresh()
{
    read_unread_file();
    std::lock_guard<std::recursive_mutex> lock(m_mutex);
    std::vector<std::string> noted;
    for (const auto& entry : m_remembered) {
        if (!entry.second->live())
            continue;
        if (!find_bluetooth_device(entry.first)) {
            publish_unplug(entry.second);
            noted.push_back(entry.first);
        }
    }
    for (const auto& path : noted) {
        auto it = m_remembered.find(path);
        if (it == m_remembered.end())
            continue;
        park_channel(it->second);
        m_remembered.erase(it);
    }
    if (!noted.empty())
        save();
}

bool PairingBus::on_subscribe(IHardwareBus::PlugUnplug*)
{
    if (!m_child)
        return true;
    if (!Subscriber<IHardwareBus::PlugUnplug>::subscribe(m_child, 0, "")) {
        bool any = false;
        for (const auto& bus : secondary_buses())
            if (Subscriber<IHardwareBus::PlugUnplug>::subscribe(bus, 0, "")) {
                any = true;
                break;
            }
        if (!any)
            return false;
    }
    for (const auto& bus : m_child->getBluetoothBuses())
        if (!Subscriber<IBluetoothBus::RadioArrivalRemovalExternal>::subscribe(bus, 1, ""))
            return false;
    return true;
}

} // namespace devio
