#include "core/DeviceManager.h"

#include "core/Timing.h"
#include "quillon/ProductIds.h"

#include <chrono>
#include <cstdlib>

namespace devio {

namespace {
const char* const k_arrival = "DeviceManager::ArrivalRemoval::onDeviceArrival";
const char* const k_removal = "DeviceManager::ArrivalRemoval::onDeviceRemoval";
const char* const k_active = "DeviceManager::ActiveChanged::onActiveChanged";
const char* const k_config = "DeviceManager::ConfigChanged::onConfigChanged";
const char* const k_error = "DeviceManager::UnreportedError::onUnreportedError";
const char* const k_run_loop = "DeviceManager::RunLoopEvent::onRunLoopEvent";

bool rebuilds_buses(ConfigItem item)
{
    switch (static_cast<int>(item)) {
    case 0: case 1: case 2: case 3: case 5: case 6: case 7:
        return true;
    default:
        return false;
    }
}
} // namespace

DeviceManager::DeviceManager() : DeviceManager(nullptr) {}

DeviceManager::DeviceManager(std::shared_ptr<IDeviceFactory> factory)
    : m_factory(std::move(factory)), m_default_config(std::make_shared<Configuration>())
{
    m_default_config->set(ConfigItem(0), false);
    m_default_config->set(ConfigItem(1), false);
    m_default_config->set(ConfigItem(2), true);
    m_default_config->set(ConfigItem(3), false);
    m_default_config->set(ConfigItem(4), false);
    m_default_config->set(ConfigItem(7), false);
    m_default_config->set(ConfigItem(5), false);
    m_default_config->set(ConfigItem(6), false);
    m_default_config->set(ConfigItem(8), true);
    m_default_config->set(ConfigItem(9), false);
    m_current_config = std::make_shared<Configuration>(*m_default_config);
    const auto us = std::chrono::duration_cast<std::chrono::microseconds>(
        std::chrono::steady_clock::now().time_since_epoch());
    std::srand(static_cast<unsigned>(us.count()));
}

DeviceManager::~DeviceManager() { shut_down(); }

void DeviceManager::shut_down()
{
    m_closing = true;
    if (m_factory)
        for (auto& entry : m_devices)
            m_factory->release_configuration(entry.second.device);
    const auto started = m_started_buses;
    for (const auto& bus : started)
        removeBus(bus);
    m_started_buses.clear();
    m_devices.clear();
    m_added_buses.clear();
    m_retry_buses.clear();
    m_retry_timer.reset();
}

void DeviceManager::set_factory(std::shared_ptr<IDeviceFactory> factory) { m_factory = std::move(factory); }

std::shared_ptr<IDeviceFactory> DeviceManager::factory() const { return m_factory; }

// ---- run loop ---------------------------------------------------------------------------

void DeviceManager::publish_run_loop_event()
{
    Producer<IRunLoopManager::RunLoopEvent>::notify([](IRunLoopManager::RunLoopEvent* s) { s->onRunLoopEvent(); },
                                                     k_run_loop);
}

void DeviceManager::post(std::function<bool()> callable, void* subscriber, void* producer, std::string name)
{
    if (m_closing)
        return;
    bool wasPending;
    {
        std::lock_guard<std::mutex> lock(m_queue_mutex);
        m_queue.push_back(QueueEntry{std::move(callable), subscriber, producer, std::move(name)});
        wasPending = m_pending;
        m_pending = true;
    }
    if (!wasPending)
        publish_run_loop_event();
}

void DeviceManager::process()
{
    std::unique_lock<std::mutex> lock(m_queue_mutex);
    bool yield = false;
    for (;;) {
        if (m_queue.empty()) {
            m_pending = false;
            return;
        }
        if (yield) {
            lock.unlock();
            publish_run_loop_event();
            return;
        }
        std::function<bool()> callable = std::move(m_queue.front().callable);
        m_queue.pop_front();
        lock.unlock();
        yield = callable();
        callable = nullptr;
        lock.lock();
    }
}

void DeviceManager::flush(void* subscriber, void* producer)
{
    std::list<QueueEntry> removed; // destroyed outside the lock
    std::lock_guard<std::mutex> lock(m_queue_mutex);
    if (!subscriber && !producer) {
        removed.swap(m_queue);
        return;
    }
    for (auto it = m_queue.begin(); it != m_queue.end();) {
        auto next = std::next(it);
        if (it->subscriber == subscriber && it->producer == producer)
            removed.splice(removed.end(), m_queue, it);
        it = next;
    }
}

std::size_t DeviceManager::queued_count()
{
    std::lock_guard<std::mutex> lock(m_queue_mutex);
    return m_queue.size();
}

void DeviceManager::on_subscribed(IRunLoopManager::RunLoopEvent*, bool)
{
    std::size_t n;
    {
        std::lock_guard<std::mutex> lock(m_queue_mutex);
        n = m_queue.size();
    }
    for (std::size_t i = 0; i < n; ++i)
        publish_run_loop_event();
}

// ---- buses --------------------------------------------------------------------------------

bool DeviceManager::on_subscribe(IDeviceManager::ArrivalRemoval*) { return ensure_started(); }

bool DeviceManager::ensure_started()
{
    if (m_started)
        return true;
    m_retry_timer = std::make_shared<Timer>(get_run_loop(), 1);
    if (!Subscriber<ITimer::TimerEvent>::subscribe(std::static_pointer_cast<ITimer>(m_retry_timer), 0, ""))
        return false;
    if (!start())
        return false;
    m_started = true;
    return true;
}

bool DeviceManager::start()
{
    std::shared_ptr<DeviceManager> self = shared_from_this();
    if (!m_factory) {
        set_last_error(1, 0, "no bus factory");
        return false;
    }
    std::shared_ptr<IHardwareBus> bus = m_factory->make_platform_bus(self);
    if (!bus) {
        if (last_error().code == 0)
            set_last_error(1, 0, nullptr);
        return false;
    }
    if (bus->needsCombiner())
        bus = m_factory->make_combiner_bus(self, bus);
    if (bus && !bus->getBluetoothBuses().empty())
        bus = m_factory->make_pairing_bus(self, bus);
    if (!bus) {
        if (last_error().code == 0)
            set_last_error(1, 0, nullptr);
        return false;
    }

    // A start that fails half-way takes back the buses it added.
    std::vector<std::shared_ptr<IHardwareBus>> added;
    auto roll_back = [&](const std::shared_ptr<IHardwareBus>& failed) {
        const LastError saved = last_error();
        removeBus(failed);
        for (auto it = added.rbegin(); it != added.rend(); ++it) {
            removeBus(*it);
            m_started_buses.erase(*it);
        }
        set_last_error(saved.code, saved.detail, saved.text);
        return false;
    };
    if (!addBus(bus))
        return roll_back(bus);
    added.push_back(bus);
    m_started_buses.insert(bus);
    for (const auto& secondary : bus->getSecondaryBuses()) {
        if (!secondary || !addBus(secondary))
            return roll_back(secondary);
        added.push_back(secondary);
        m_started_buses.insert(secondary);
    }
    return true;
}

bool DeviceManager::addBus(std::shared_ptr<IHardwareBus> bus)
{
    if (!bus)
        return false;
    if (!Subscriber<IHardwareBus::PlugUnplug>::subscribe(bus, 0, ""))
        return false;
    set_last_error(0, 0, nullptr);
    std::vector<std::shared_ptr<IHardwareDevice>> devices = bus->enumerate();
    if (devices.empty() && last_error().code != 0)
        return false;
    m_added_buses.insert(bus);
    for (const auto& hardware : devices)
        if (hardware)
            onPlug(hardware);
    bus->setDataDirectory(m_cache_directory);
    return true;
}

void DeviceManager::removeBus(std::shared_ptr<IHardwareBus> bus)
{
    if (!bus)
        return;
    // Its queued plug events must not create devices after it left.
    Subscriber<IHardwareBus::PlugUnplug>::unsubscribe(bus);
    std::vector<std::shared_ptr<IHardwareDevice>> members;
    for (const auto& entry : m_devices)
        if (entry.second.hardware->getBus() == bus)
            members.push_back(entry.second.hardware);
    for (const auto& hardware : members)
        onUnplug(hardware);
    m_added_buses.erase(bus);
    m_retry_buses.erase(bus);
}

void DeviceManager::remove_started_buses()
{
    const auto started = m_started_buses;
    for (const auto& bus : started)
        removeBus(bus);
    m_started_buses.clear();
}

// ---- devices ------------------------------------------------------------------------------

bool DeviceManager::accepts(const std::shared_ptr<IHardwareDevice>& hardware)
{
    const Configuration& c = *m_current_config;
    switch (hardware->getTransportType()) {
    case 0: {
        const std::uint16_t pid = hardware->getProductId();
        if (pid >= 0xC500 && pid <= 0xC5FF && c.get(ConfigItem(5)))
            return true;
        return c.get(ConfigItem(6));
    }
    case 1:
        return c.get(ConfigItem(5));
    case 2:
        return c.get(ConfigItem(0));
    case 3:
        return c.get(ConfigItem(1));
    default:
        return true;
    }
}

void DeviceManager::onPlug(std::shared_ptr<IHardwareDevice> hardware)
{
    if (!hardware)
        return;
    if (hardware->isConnected() && !hardware->open())
        return;
    if (!accepts(hardware))
        return;
    const std::string path = hardware->getPath();
    if (m_devices.count(path))
        return;
    std::shared_ptr<IDevice> device = createDevice(hardware, false, hardware->getProductId());
    if (!device)
        return;
    m_devices[path] = Entry{hardware, device};
    Producer<IDeviceManager::ArrivalRemoval>::notify(
        [device](IDeviceManager::ArrivalRemoval* s) { s->onDeviceArrival(device); }, k_arrival);

    std::shared_ptr<IHardwareBus> receiverBus = m_factory ? m_factory->as_bus(device) : nullptr;
    if (receiverBus && !addBus(receiverBus)) {
        m_retry_buses.insert(receiverBus);
        const int before = m_retry_count;
        m_retry_count = 1;
        if (before == 0) {
            if (!m_retry_timer) {
                m_retry_timer = std::make_shared<Timer>(get_run_loop(), 1);
                Subscriber<ITimer::TimerEvent>::subscribe(std::static_pointer_cast<ITimer>(m_retry_timer), 0, "");
            }
            m_retry_timer->start(Timing::scaled(2000));
        }
    }
}

void DeviceManager::onUnplug(std::shared_ptr<IHardwareDevice> hardware)
{
    if (!hardware)
        return;
    const std::string path = hardware->getPath();
    auto it = m_devices.find(path);
    if (it == m_devices.end())
        return;
    std::shared_ptr<IDevice> device = it->second.device;
    std::shared_ptr<IHardwareBus> receiverBus = m_factory ? m_factory->as_bus(device) : nullptr;
    if (receiverBus)
        removeBus(receiverBus); // its paired devices leave before it
    if (!m_closing)
        Producer<IDeviceManager::ArrivalRemoval>::notify(
            [device](IDeviceManager::ArrivalRemoval* s) { s->onDeviceRemoval(device); }, k_removal);
    m_devices.erase(path);
}

std::shared_ptr<IDevice> DeviceManager::createDevice(std::shared_ptr<IHardwareDevice> hardware, bool noReceiver,
                                                     std::uint32_t productId)
{
    if (!m_factory || !hardware) {
        set_last_error(1, 0, "no device factory");
        return nullptr;
    }
    std::shared_ptr<DeviceManager> self = shared_from_this();
    if (m_current_config->get(ConfigItem(5)) && !noReceiver) {
        const std::uint32_t slots = receiver_slot_count(productId);
        if (slots)
            return m_factory->make_receiver(self, hardware, slots, m_current_config);
    }
    return m_factory->make_device(self, hardware, m_current_config, m_cache_directory);
}

void DeviceManager::onPowerChange(bool on)
{
    if (on || !m_factory)
        return;
    std::vector<std::shared_ptr<IHardwareBus>> receivers;
    std::vector<std::shared_ptr<IDevice>> devices;
    for (const auto& entry : m_devices) {
        devices.push_back(entry.second.device);
        auto bus = m_factory->as_bus(entry.second.device);
        if (bus && m_added_buses.count(bus))
            receivers.push_back(bus);
    }
    for (const auto& bus : receivers)
        bus->enumerate();
    for (const auto& device : devices)
        m_factory->replay_connect(device);
}

void DeviceManager::onTimerEvent(int id)
{
    if (id != 1)
        return;
    int failed = 0;
    const auto retry = m_retry_buses;
    for (const auto& bus : retry) {
        if (addBus(bus))
            m_retry_buses.erase(bus);
        else
            ++failed;
    }
    if (failed == 0) {
        m_retry_count = 0;
        return;
    }
    ++m_retry_count;
    if (m_retry_count > 9) {
        set_last_error(77, 0, "Ravelin device enumeration failed after max retry attempts");
        reportError("RavelinBus");
        m_retry_count = 0;
        m_retry_buses.clear();
        reportError("DeviceManager::addBus retry failed all attempts");
        return;
    }
    if (m_retry_timer)
        m_retry_timer->start(Timing::scaled(2000ull << m_retry_count));
}

std::vector<std::shared_ptr<IDevice>> DeviceManager::getDevices()
{
    if (!ensure_started())
        return {};
    for (const auto& bus : m_started_buses)
        bus->refresh();
    std::vector<std::shared_ptr<IDevice>> out;
    for (const auto& entry : m_devices)
        out.push_back(entry.second.device);
    if (out.empty())
        set_last_error(0, 0, nullptr);
    return out;
}

std::vector<std::shared_ptr<IDevice>> DeviceManager::getChildDevices(std::shared_ptr<IDevice> parent)
{
    std::vector<std::shared_ptr<IDevice>> out;
    std::shared_ptr<IHardwareBus> bus = m_factory && parent ? m_factory->as_bus(parent) : nullptr;
    if (!bus)
        return out;
    for (const auto& entry : m_devices)
        if (entry.second.hardware->getBus() == bus)
            out.push_back(entry.second.device);
    return out;
}

// ---- small state --------------------------------------------------------------------------

void DeviceManager::setSoftwareId(int id)
{
    std::lock_guard<std::mutex> lock(m_software_id_mutex);
    m_software_id = static_cast<std::uint32_t>(id) & 15u;
}

std::uint32_t DeviceManager::getSoftwareId()
{
    std::lock_guard<std::mutex> lock(m_software_id_mutex);
    if (m_software_id == 0)
        m_software_id = static_cast<std::uint32_t>(std::rand() % 5 + 10);
    return m_software_id;
}

void DeviceManager::set_active(bool active)
{
    std::shared_ptr<IDeviceManager> self = shared_from_this();
    if (!Subscriber<IDeviceManager::ActiveChanged>::subscribe(self, 0, ""))
        reportError("DeviceManager::set_active subscribe(IDeviceManager::ActiveChanged)");
    const bool old = m_active.exchange(active);
    if (old || active)
        Producer<IDeviceManager::ActiveChanged>::notify(
            [active](IDeviceManager::ActiveChanged* s) { s->onActiveChanged(active); }, k_active);
}

void DeviceManager::onActiveChanged(bool active)
{
    if (!active)
        return;
    const auto buses = m_added_buses;
    for (const auto& bus : buses)
        bus->enumerate();
}

void DeviceManager::reportError(const char* context)
{
    const LastError e = last_error();
    if (e.code == 0 || m_closing)
        return;
    Producer<IDeviceManager::UnreportedError>::notify(
        [context, e](IDeviceManager::UnreportedError* s) { s->onUnreportedError(context, e.code, e.text, e.detail); },
        k_error);
}

void DeviceManager::setCacheDirectory(std::string directory)
{
    if (!directory.empty() && directory.back() != '/' && directory.back() != '\\')
        directory += '/';
    m_cache_directory = directory;
    if (m_factory)
        for (const auto& entry : m_devices)
            m_factory->set_cache_directory(entry.second.device, m_cache_directory);
    for (const auto& bus : m_added_buses)
        bus->setDataDirectory(m_cache_directory);
}

bool DeviceManager::getDefaultConfig(ConfigItem item, bool* value)
{
    if (value)
        *value = m_default_config->get(item);
    return true;
}

bool DeviceManager::getConfig(ConfigItem item, bool* value)
{
    if (value)
        *value = m_current_config->get(item);
    return true;
}

bool DeviceManager::setConfig(ConfigItem item, bool value)
{
    const bool old = m_current_config->get(item);
    m_current_config->set(item, value);
    if (rebuilds_buses(item) && old != value && m_started) {
        remove_started_buses();
        start();
    }
    if (old == value)
        return true;
    Producer<IDeviceManager::ConfigChanged>::notify(
        [item, value](IDeviceManager::ConfigChanged* s) { s->onConfigChanged(item, value); }, k_config);
    return true;
}

} // namespace devio

namespace devio {
std::uint32_t DeviceManager::receiver_slot_count(std::uint32_t productId)
{
    return quillon::ids::receiverSlotCount(productId);
}
} // namespace devio
