#include "Windows/RavelinBus.h"

#include "Windows/RavelinDevice.h"
#include "core/DataRequest.h"
#include "core/ErrorRecord.h"
#include "core/IDeviceManager.h"
#include "quillon/ProductIds.h"

namespace devio {

using namespace TSL10Command;

std::shared_ptr<RavelinBus> RavelinBus::create(std::shared_ptr<IDeviceManager> manager,
                                               std::shared_ptr<IHardwareDevice> receiver, std::uint32_t slotCount,
                                               std::shared_ptr<Configuration> configuration)
{
    return std::make_shared<RavelinBus>(std::move(manager), std::move(receiver), slotCount, std::move(configuration));
}

RavelinBus::RavelinBus(std::shared_ptr<IDeviceManager> manager, std::shared_ptr<IHardwareDevice> receiver,
                       std::uint32_t slotCount, std::shared_ptr<Configuration> configuration)
    : Device(manager, receiver, std::move(configuration)), m_slot_count(slotCount), m_receiver(receiver),
      m_bus_manager(manager), m_slots(slotCount)
{
}

RavelinBus::~RavelinBus()
{
    // The receiver's reader may be in one of our handlers right now: leave its producers (which
    // waits for such a delivery) before our own members go. The device's destructor does the
    // same, but only after them.
    Subscriber<IHardwareDevice::Read>::unsubscribe(m_receiver);
    Subscriber<IHardwareDevice::Write>::unsubscribe(m_receiver);
    Subscriber<IHardwareDevice::FastDisconnect>::unsubscribe(m_receiver);
    // Likewise a queued delivery of our own register-zero event running on the host thread.
    Subscriber<IReceiver::RegisterZeroOverwritten>::stop_deliveries();
}

std::shared_ptr<RavelinBus> RavelinBus::self()
{
    return std::static_pointer_cast<RavelinBus>(Device::shared_from_this());
}

void RavelinBus::initDevice(std::shared_ptr<IDeviceManager> manager)
{
    Device::initDevice(manager);
    if (manager)
        m_active = manager->is_active();
}

std::shared_ptr<RavelinDevice> RavelinBus::slot(std::uint32_t index)
{
    std::lock_guard<std::mutex> lock(m_slot_mutex);
    return index < m_slots.size() ? m_slots[index] : nullptr;
}

void RavelinBus::set_slot(std::uint32_t index, std::shared_ptr<RavelinDevice> device)
{
    std::lock_guard<std::mutex> lock(m_slot_mutex);
    if (index < m_slots.size())
        m_slots[index] = std::move(device);
}

std::vector<std::shared_ptr<RavelinDevice>> RavelinBus::present_devices()
{
    std::lock_guard<std::mutex> lock(m_slot_mutex);
    std::vector<std::shared_ptr<RavelinDevice>> result;
    for (const auto& device : m_slots)
        if (device)
            result.push_back(device);
    return result;
}

void RavelinBus::subscribe_self()
{
    std::lock_guard<std::mutex> lock(m_self_subscribe_mutex);
    if (m_self_subscribed)
        return;
    auto producer = std::static_pointer_cast<Producer<IReceiver::RegisterZeroOverwritten>>(self());
    if (Subscriber<IReceiver::RegisterZeroOverwritten>::subscribe(producer, 0, ""))
        m_self_subscribed = true;
}

bool RavelinBus::enable_notifications()
{
    attach();  // the replies come in through the receiver's reads
    subscribe_self();
    if (!update_receiver_short_register(this, kRegNotifications, 0, 0x01, 0, 0, 0, 0))
        return false;
    m_notifications_on = true;
    return true;
}

bool RavelinBus::on_subscribe(IHardwareBus::PlugUnplug*)
{
    if (m_active && !m_notifications_on)
        return enable_notifications();
    return true;
}

std::vector<std::shared_ptr<IHardwareDevice>> RavelinBus::enumerate()
{
    if (!m_active)
        return {};
    if (!m_notifications_on && !enable_notifications())
        return {};
    for (int attempt = 0; attempt < 3; ++attempt) {
        ReceiverConnectionStateResponse state;
        if (!read_receiver_connection_state(this)->get(state))
            return {};
        m_expected_count = static_cast<int>(state.connectedCount);
        {
            std::lock_guard<std::mutex> lock(m_arrival_mutex);
            m_arrival_counts.clear();
        }
        m_announcing = true;
        const bool announced = set_receiver_connection_state(this, true)->wait();
        m_announcing = false;
        if (!announced)
            return {};
        std::size_t unique = 0;
        {
            std::lock_guard<std::mutex> lock(m_arrival_mutex);
            unique = m_arrival_counts.size();
        }
        if (static_cast<int>(unique) == m_expected_count.load())
            break;
        if (auto manager = m_bus_manager.lock()) {
            set_last_error(65, 0, "Ravelin device arrival unique count mismatch");
            manager->reportError("RavelinBus");
        }
        if (attempt == 0) {
            m_notifications_on = false;
            enable_notifications();
        }
    }
    std::vector<std::shared_ptr<IHardwareDevice>> result;
    for (const auto& device : present_devices())
        result.push_back(device);
    if (result.empty())
        set_last_error(0);
    return result;
}

void RavelinBus::onRead(std::vector<Byte> report, bool flag, unsigned status, unsigned length)
{
    // The last owner may let go on another thread while the reader is here: the destructor then
    // waits for this delivery, and the bus can no longer hand itself to new paired devices or
    // events; a reference taken for one step only may end it in the middle of the next. Held
    // for the whole report, it ends after it at the latest; already going, it answers nobody.
    const auto held = Device::weak_from_this().lock();
    if (!held)
        return;
    if (report.size() >= 7) {
        const Byte index = report[1];
        const Byte sub = report[2];
        const bool inRange = index >= 1 && index <= m_slot_count;
        if (sub == 0x41 && report[3] != 2 && inRange)
            on_connection(index - 1u, report[5] + 256u * report[6], (report[4] & 0x40) == 0, m_announcing.load());
        if (sub == 0x40 && report[3] == 2 && inRange)
            on_removal(index - 1u);
        if (sub == 0x4A) {
            std::shared_ptr<IDevice> receiver = self();
            const auto state = static_cast<IReceiver::State>(report[3]);
            const auto error = static_cast<IReceiver::ErrorType>(report[4]);
            Producer<IReceiver::LockingChange>::notify(
                [receiver, state, error](IReceiver::LockingChange* s) { s->onLockingChange(receiver, state, error); },
                "IReceiver::LockingChange::onLockingChange");
        }
        if (index == 0xFF && sub == kSetShortRegister && report[3] == kRegNotifications)
            Producer<IReceiver::RegisterZeroOverwritten>::notify(
                [](IReceiver::RegisterZeroOverwritten* s) { s->onRegisterZeroOverwritten(); },
                "IReceiver::RegisterZeroOverwritten::onRegisterZeroOverwritten");
        if (index < 0xFF && sub != 0x40 && sub != 0x41 && inRange) {
            if (auto device = slot(index - 1u)) {
                device->read_relay(report, status, length);
                // Marked only after the relay: the device sees this report while still disconnected.
                if (!device->isConnected() && sub != kErrorReply)
                    device->mark_connected(true);
                // Notices and replies come through different collections, so a reply sent before
                // the link dropped can follow the notice of the loss and connect the device again.
                // When the receiver then cannot reach it, that notice stands. (A device connected
                // by a notice keeps retrying: the receiver may only be waiting for it to wake.)
                else if (sub == kErrorReply && report[5] == kErrUnreachable && device->connected_by_report())
                    device->mark_disconnected();
            }
        }
    }
    Device::onRead(std::move(report), flag, status, length);
}

void RavelinBus::on_connection(std::uint32_t index, std::uint32_t productId, bool linked, bool announcing)
{
    std::shared_ptr<RavelinDevice> device = slot(index);
    bool made = false;
    if (device && device->getProductId() != productId) {
        device->mark_disconnected();
        on_removal(index);
        device.reset();
    }
    if (!device) {
        device = RavelinDevice::create(self(), index, productId, linked);
        set_slot(index, device);
        made = true;
    }
    if (linked)
        device->mark_connected();
    else
        device->mark_disconnected();
    if (announcing) {
        std::lock_guard<std::mutex> lock(m_arrival_mutex);
        ++m_arrival_counts[static_cast<int>(index)];
    }
    if (made && !announcing) {
        std::shared_ptr<IHardwareDevice> plugged = device;
        Producer<IHardwareBus::PlugUnplug>::notify([plugged](IHardwareBus::PlugUnplug* s) { s->onPlug(plugged); },
                                                   "RavelinBus::PlugUnplug::onPlug");
    }
}

void RavelinBus::on_removal(std::uint32_t index)
{
    std::shared_ptr<IHardwareDevice> placeholder = RavelinDevice::create(self(), index, 0, false);
    Producer<IHardwareBus::PlugUnplug>::notify([placeholder](IHardwareBus::PlugUnplug* s) { s->onUnplug(placeholder); },
                                               "RavelinBus::PlugUnplug::onUnplug");
    set_slot(index, nullptr);
}

void RavelinBus::onWrite(std::vector<Byte> bytes, ErrorCode error, unsigned detail)
{
    if (bytes.size() >= 7 && bytes[1] >= 1 && bytes[1] <= 254 && bytes[1] <= m_slot_count)
        if (auto device = slot(bytes[1] - 1u))
            device->write_relay(bytes, error, detail);
    Device::onWrite(std::move(bytes), error, detail);
}

void RavelinBus::onActiveChanged(bool active)
{
    auto self = Device::weak_from_this().lock(); // enumerate below runs requests
    if (!self)
        return;
    Device::onActiveChanged(active);
    const bool was = m_active.exchange(active);
    if (was == active || !active)
        return;
    std::vector<std::shared_ptr<RavelinDevice>> before;
    {
        std::lock_guard<std::mutex> lock(m_slot_mutex);
        before = m_slots;
        for (auto& s : m_slots)
            s.reset();
    }
    std::vector<std::shared_ptr<RavelinDevice>> a;
    for (const auto& d : before)
        if (d)
            a.push_back(d);
    enumerate();
    std::vector<std::shared_ptr<RavelinDevice>> b = present_devices();
    bool same = a.size() == b.size();
    for (std::size_t i = 0; same && i < a.size(); ++i)
        same = a[i]->getProductId() == b[i]->getProductId();
    if (same) {
        std::lock_guard<std::mutex> lock(m_slot_mutex);
        m_slots = before;
        return;
    }
    for (const auto& d : a) {
        std::shared_ptr<IHardwareDevice> device = d;
        Producer<IHardwareBus::PlugUnplug>::notify([device](IHardwareBus::PlugUnplug* s) { s->onUnplug(device); },
                                                   "RavelinBus::PlugUnplug::onUnplug");
    }
    for (const auto& d : b) {
        std::shared_ptr<IHardwareDevice> device = d;
        Producer<IHardwareBus::PlugUnplug>::notify([device](IHardwareBus::PlugUnplug* s) { s->onPlug(device); },
                                                   "RavelinBus::PlugUnplug::onPlug");
    }
}

void RavelinBus::onRegisterZeroOverwritten()
{
    // A read-modify-write of two requests: the receiver must outlive both even when its last
    // owner lets go on another thread.
    auto self = Device::weak_from_this().lock();
    if (!self)
        return;
    update_receiver_short_register(this, kRegNotifications, 0, m_configured_flag_set ? 0x09 : 0x01, 0, 0, 0, 0);
}

bool RavelinBus::set_configured_flag()
{
    if (m_configured_flag_set)
        return true;
    subscribe_self();
    m_configured_flag_set = true;
    return update_receiver_short_register(this, kRegNotifications, 0, 0x08, 0, 0, 0, 0);
}

bool RavelinBus::release_configuration()
{
    if (!m_configured_flag_set)
        return true;
    // Cleared first: the echo of the write below must not set the bit again.
    m_configured_flag_set = false;
    try {
        return update_receiver_short_register(this, kRegNotifications, 0, 0, 0, 0, 0x08, 0);
    } catch (...) {
        set_last_error(1);
        return false;
    }
}

bool RavelinBus::subscribe_write_relay()
{
    return Subscriber<IHardwareDevice::Write>::subscribe(m_receiver, 1, "");
}

std::shared_ptr<IDataRequest<std::string>> RavelinBus::name_request(std::uint32_t index)
{
    auto source = read_receiver_paired_device_name(this, static_cast<std::uint8_t>(index));
    return DataRequest<std::string, IDataRequest<ReceiverPairedDeviceNameResponse>, ReceiverPairedDeviceNameResponse*>::
        create(
            source, std::weak_ptr<void>(Device::shared_from_this()),
            [](ReceiverPairedDeviceNameResponse* response) -> std::shared_ptr<IDataRequest<std::string>> {
                if (!response)
                    return make_data_failure_from_error<std::string>();
                return make_data_success(response->name);
            },
            "RavelinBus::name_request");
}

std::vector<std::shared_ptr<IDevice>> RavelinBus::getChildDevices()
{
    auto manager = m_bus_manager.lock();
    if (!manager)
        return {};
    return manager->getChildDevices(self());
}

bool RavelinBus::getLongRegisterB3(std::vector<Byte>& value)
{
    return read_receiver_register_b3(this, value);
}

std::uint32_t RavelinBus::getSerialNumber()
{
    std::vector<Byte> reply;
    if (!execute({kShortReport, kReceiverIndex, kGetLongRegister, kRegPairingInfo, 0x30}, reply, 0, {}))
        return 0;
    if (reply.size() < 9) {
        set_last_error(2);
        return 0;
    }
    return (std::uint32_t(reply[5]) << 24) | (std::uint32_t(reply[6]) << 16) | (std::uint32_t(reply[7]) << 8) |
           reply[8];
}

bool RavelinBus::matchesReceiverPidPair()
{
    const std::uint16_t pid = getProductId();
    return pid == quillon::ids::kReceiverPidPair[0] || pid == quillon::ids::kReceiverPidPair[1];
}

bool RavelinBus::openLock()
{
    return open_receiver_lock(this);
}

bool RavelinBus::closeLock()
{
    return close_receiver_lock(this);
}

bool RavelinBus::unpair(std::uint32_t index)
{
    return unpair_receiver_device(this, static_cast<std::uint8_t>(index & 0xFF));
}

} // namespace devio
