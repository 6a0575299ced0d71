#include "bluetooth/PairingDevice.h"

#include "bluetooth/PairingBus.h"
#include "core/DataRequest.h"

#include <utility>

namespace devio {

std::shared_ptr<PairingDevice> PairingDevice::create(const std::shared_ptr<PairingBus>& bus,
                                                     std::shared_ptr<IHardwareDevice> primary, std::string path,
                                                     std::uint32_t productId, std::string name,
                                                     std::shared_ptr<IBluetoothDevice> live, std::string radio,
                                                     std::uint32_t kindHint)
{
    auto device = std::make_shared<PairingDevice>(bus, std::move(primary), std::move(path), productId,
                                                  std::move(name), std::move(live), std::move(radio), kindHint);
    device->subscribe_to_live();
    return device;
}

PairingDevice::PairingDevice(const std::shared_ptr<PairingBus>& bus, std::shared_ptr<IHardwareDevice> primary,
                             std::string path, std::uint32_t productId, std::string name,
                             std::shared_ptr<IBluetoothDevice> live, std::string radio, std::uint32_t kindHint)
    : m_bus(bus),
      m_path(std::move(path)),
      m_product_id(productId),
      m_live(std::move(live)),
      m_primary(std::move(primary)),
      m_name(std::move(name)),
      m_radio(std::move(radio))
{
    if (bus)
        set_run_loop(bus->Producer<IHardwareBus::PlugUnplug>::get_run_loop());
    if (!m_live) {
        m_transport = kindHint;
        m_connected = true;
        m_link_up = true;
        return;
    }
    m_transport = m_live->getTransport();
    if (m_transport == TransportBluetoothLE)
        m_le_gatt = kindHint == TransportGatt;
}

PairingDevice::~PairingDevice()
{
    // Events may still be on their way (reader threads, queued Bluetooth events): none may reach
    // a half-destroyed device.
    Subscriber<IHardwareDevice::Read>::unsubscribe_all();
    Subscriber<IHardwareDevice::Write>::unsubscribe_all();
    Subscriber<IHardwareDevice::FastDisconnect>::unsubscribe_all();
    Subscriber<IBluetoothDevice::BtFastConnect>::unsubscribe_all();
    Subscriber<IBluetoothDevice::BtConnect>::unsubscribe_all();
    Subscriber<IBluetoothDevice::BtUnpair>::unsubscribe_all();
}

void PairingDevice::subscribe_to_live()
{
    if (!m_live)
        return;
    if (!Subscriber<IBluetoothDevice::BtFastConnect>::subscribe(m_live, 1, ""))
        report("Could not subscribe to BtFastConnect");
    if (!Subscriber<IBluetoothDevice::BtConnect>::subscribe(m_live, 0, ""))
        report("Could not subscribe to BtConnect");
    if (!Subscriber<IBluetoothDevice::BtUnpair>::subscribe(m_live, 0, ""))
        report("Could not subscribe to BtUnpair");
    bool unknown;
    {
        std::lock_guard<std::recursive_mutex> lock(m_mutex);
        unknown = m_radio == kUnknownRadio;
    }
    if (unknown && m_live->isConnected()) {
        std::string radio = m_live->getRadioPath(m_path, m_transport);
        std::lock_guard<std::recursive_mutex> lock(m_mutex);
        m_radio = std::move(radio);
    }
}

void PairingDevice::report(const char* context)
{
    if (auto bus = m_bus.lock())
        bus->report_error(context);
}

std::shared_ptr<IHardwareDevice> PairingDevice::primary() const
{
    std::lock_guard<std::recursive_mutex> lock(m_mutex);
    return m_primary;
}

std::shared_ptr<IHardwareDevice> PairingDevice::secondary() const
{
    std::lock_guard<std::recursive_mutex> lock(m_mutex);
    return m_secondary;
}

bool PairingDevice::has_primary() const { return primary() != nullptr; }

std::string PairingDevice::secondary_path() const
{
    auto second = secondary();
    return second ? second->getPath() : std::string();
}

std::string PairingDevice::radio() const
{
    std::lock_guard<std::recursive_mutex> lock(m_mutex);
    return m_radio;
}

bool PairingDevice::isConnected()
{
    if (!m_live)
        return true;
    const bool up = m_live->isConnected();
    m_link_up = up;
    bool changed;
    {
        std::lock_guard<std::recursive_mutex> lock(m_mutex);
        changed = up != m_connected;
    }
    if (changed) {
        if (up)
            onBtConnect(m_live->getRadioPath(m_path, m_transport));
        else
            onBtDisconnect();
    }
    return primary() ? m_link_up.load() : false;
}

bool PairingDevice::open()
{
    std::shared_ptr<IHardwareDevice> first, second;
    {
        std::lock_guard<std::recursive_mutex> lock(m_mutex);
        if (!m_primary || !m_connected)
            return true;
        first = m_primary;
        second = m_secondary;
    }
    if (!first->open())
        return false;
    if (second)
        second->open();
    std::lock_guard<std::recursive_mutex> lock(m_mutex);
    m_opened = true;
    return true;
}

void PairingDevice::close()
{
    std::shared_ptr<IHardwareDevice> first, second;
    {
        std::lock_guard<std::recursive_mutex> lock(m_mutex);
        m_opened = false;
        first = m_primary;
        second = m_secondary;
    }
    if (first)
        first->close();
    if (second)
        second->close();
}

bool PairingDevice::write(std::vector<Byte> report, bool awaitReply)
{
    if (m_live && !m_link_up) {
        set_last_error(5);
        return false;
    }
    std::shared_ptr<IHardwareDevice> first;
    {
        std::lock_guard<std::recursive_mutex> lock(m_mutex);
        if (m_connected)
            first = m_primary;
    }
    if (!first) {
        set_last_error(5);
        return false;
    }
    return first->write(std::move(report), awaitReply);
}

std::shared_ptr<IHardwareBus> PairingDevice::getBus() { return m_bus.lock(); }

void PairingDevice::appendPaths(std::vector<std::string>& out)
{
    if (auto first = primary())
        first->appendPaths(out);
    else
        out.push_back(m_path);
}

std::string PairingDevice::getName()
{
    {
        std::lock_guard<std::recursive_mutex> lock(m_mutex);
        if (m_name_fetched || !m_live)
            return m_name;
    }
    std::string fetched = m_live->getName();
    std::lock_guard<std::recursive_mutex> lock(m_mutex);
    if (!fetched.empty()) {
        m_name = std::move(fetched);
        m_name_fetched = true;
    }
    return m_name;
}

std::shared_ptr<IDataRequest<std::string>> PairingDevice::nameRequest() { return make_data_success(getName()); }

std::uint32_t PairingDevice::getSubIndex()
{
    if (m_transport != TransportBluetoothLE)
        return 0;
    return m_le_gatt ? 2 : 1;
}

bool PairingDevice::stillPresent()
{
    auto first = primary();
    if (!first || !m_link_up)
        return false;
    if (first->stillPresent() && (!m_live || m_live->isUsable()))
        return true;
    if (m_live)
        detach_primary();
    return false;
}

void PairingDevice::publish_connect(bool connected)
{
    auto self = shared_from_this();
    if (connected)
        Producer<IHardwareDevice::Connect>::notify([self](IHardwareDevice::Connect* s) { s->onConnect(self); },
                                                   "PairingBus::Connect::onConnect");
    else
        Producer<IHardwareDevice::Connect>::notify([self](IHardwareDevice::Connect* s) { s->onDisconnect(self); },
                                                   "PairingBus::Connect::onDisconnect");
}

void PairingDevice::attach_primary(std::shared_ptr<IHardwareDevice> hardware)
{
    if (!hardware)
        return;
    bool read, fast, write, connected;
    {
        std::lock_guard<std::recursive_mutex> lock(m_mutex);
        if (m_primary)
            return;
        m_primary = hardware;
        read = m_read_hooked;
        fast = m_fast_disconnect_hooked;
        write = m_write_hooked;
        connected = m_connected;
    }
    if (read)
        Subscriber<IHardwareDevice::Read>::subscribe(hardware, 1, "IHardwareDevice::Read");
    if (fast)
        Subscriber<IHardwareDevice::FastDisconnect>::subscribe(hardware, 1, "IHardwareDevice::FastDisconnect");
    if (connected)
        publish_connect(true);
    if (write)
        Subscriber<IHardwareDevice::Write>::subscribe(hardware, 1, "IHardwareDevice::Write");
}

void PairingDevice::detach_primary()
{
    std::shared_ptr<IHardwareDevice> old;
    bool connected;
    {
        std::lock_guard<std::recursive_mutex> lock(m_mutex);
        old = std::move(m_primary);
        m_primary.reset();
        connected = m_connected;
    }
    if (!old)
        return;
    // A gone collection must not relay into the device any more.
    Subscriber<IHardwareDevice::Read>::unsubscribe(old);
    Subscriber<IHardwareDevice::Write>::unsubscribe(old);
    Subscriber<IHardwareDevice::FastDisconnect>::unsubscribe(old);
    if (connected)
        publish_connect(false);
}

void PairingDevice::attach_secondary(std::shared_ptr<IHardwareDevice> hardware)
{
    if (!hardware)
        return;
    std::shared_ptr<IHardwareDevice> old;
    bool opened, read;
    {
        std::lock_guard<std::recursive_mutex> lock(m_mutex);
        old = std::exchange(m_secondary, hardware);
        opened = m_opened;
        read = m_read_hooked;
    }
    if (old && old != hardware)
        Subscriber<IHardwareDevice::Read>::unsubscribe(old);
    if (opened)
        hardware->open();
    if (read)
        Subscriber<IHardwareDevice::Read>::subscribe(hardware, 1, "");
}

std::shared_ptr<IHardwareDevice> PairingDevice::detach_secondary(const std::shared_ptr<IHardwareDevice>& match)
{
    std::shared_ptr<IHardwareDevice> second;
    bool opened;
    {
        std::lock_guard<std::recursive_mutex> lock(m_mutex);
        if (!m_secondary)
            return nullptr;
        if (match && match->getPath() != m_secondary->getPath())
            return nullptr;
        second = std::move(m_secondary);
        m_secondary.reset();
        opened = m_opened;
    }
    Subscriber<IHardwareDevice::Read>::unsubscribe(second);
    if (opened)
        second->close();
    return second;
}

bool PairingDevice::is_available()
{
    if (!m_live)
        return true;
    const std::string radio = this->radio();
    if (radio.empty())
        return false;
    return m_live->isRadioPresent(radio);
}

void PairingDevice::set_radio(const std::string& radio)
{
    {
        std::lock_guard<std::recursive_mutex> lock(m_mutex);
        if (radio.empty() || radio == m_radio)
            return;
        m_radio = radio;
    }
    if (auto bus = m_bus.lock())
        bus->publish_plug(shared_from_this());
}

void PairingDevice::set_name_if_empty(const std::string& name)
{
    std::lock_guard<std::recursive_mutex> lock(m_mutex);
    if (m_name.empty())
        m_name = name;
}

bool PairingDevice::verify_pairing()
{
    if (!m_live)
        return false;
    std::string radio = this->radio();
    if (radio.empty())
        return true;
    const bool ok = m_live->verifyPairing(radio);
    {
        std::lock_guard<std::recursive_mutex> lock(m_mutex);
        m_radio = radio;
    }
    if (!ok) {
        report("PairingDevice verify_pairing failed");
        return false;
    }
    return radio.empty();
}

void PairingDevice::onRead(std::vector<Byte> data, bool relayed, unsigned status, unsigned length)
{
    // A subscriber may let go of this device inside the relay (a receiver bus that ends on its
    // reader thread): it then ends after the delivery, not under it.
    const DeliveryHold<PairingDevice> held(weak_from_this());
    if (!held)
        return;
    Producer<IHardwareDevice::Read>::notify(
        [data = std::move(data), relayed, status, length](IHardwareDevice::Read* s) {
            s->onRead(data, relayed, status, length);
        },
        "PairingDevice::Read::onRead");
}

void PairingDevice::onWrite(std::vector<Byte> data, ErrorCode code, unsigned detail)
{
    const DeliveryHold<PairingDevice> held(weak_from_this());
    if (!held)
        return;
    Producer<IHardwareDevice::Write>::notify(
        [data = std::move(data), code, detail](IHardwareDevice::Write* s) { s->onWrite(data, code, detail); },
        "PairingDevice::Write::onWrite");
}

void PairingDevice::onFastDisconnect()
{
    const DeliveryHold<PairingDevice> held(weak_from_this());
    if (!held)
        return;
    Producer<IHardwareDevice::FastDisconnect>::notify([](IHardwareDevice::FastDisconnect* s) { s->onFastDisconnect(); },
                                                      "PairingBus::FastDisconnect::onFastDisconnect");
}

void PairingDevice::onBtConnect(std::string radioPath)
{
    set_radio(radioPath);
    std::shared_ptr<IHardwareDevice> first, second;
    bool read;
    {
        std::lock_guard<std::recursive_mutex> lock(m_mutex);
        if (m_connected)
            return;
        m_connected = true;
        first = m_primary;
        second = m_secondary;
        read = m_read_hooked;
    }
    if (first) {
        if (read)
            first->open();
        publish_connect(true);
    }
    if (second && read)
        second->open();
}

void PairingDevice::onBtPairingUpdate(std::string radioPath)
{
    if (radio() == kUnknownRadio)
        set_radio(radioPath);
}

void PairingDevice::onBtDisconnect()
{
    std::shared_ptr<IHardwareDevice> first, second;
    {
        std::lock_guard<std::recursive_mutex> lock(m_mutex);
        if (!m_connected)
            return;
        m_connected = false;
        first = m_primary;
        second = m_secondary;
    }
    if (first) {
        first->close();
        onFastDisconnect();
        publish_connect(false);
    }
    if (second)
        second->close();
}

void PairingDevice::onBtFastConnect(std::string) { m_link_up = true; }

void PairingDevice::onBtFastDisconnect() { m_link_up = false; }

void PairingDevice::onBtUnpair(std::string radioPath)
{
    {
        std::lock_guard<std::recursive_mutex> lock(m_mutex);
        if (m_radio == radioPath)
            m_radio.clear();
    }
    if (auto bus = m_bus.lock())
        bus->on_unpair(shared_from_this());
}

bool PairingDevice::on_subscribe(IHardwareDevice::Read*)
{
    std::shared_ptr<IHardwareDevice> first, second;
    {
        std::lock_guard<std::recursive_mutex> lock(m_mutex);
        if (m_read_hooked)
            return true;
        first = m_primary;
        second = m_secondary;
    }
    if (first && !Subscriber<IHardwareDevice::Read>::subscribe(first, 1, "IHardwareDevice::Read"))
        return false;
    if (second)
        Subscriber<IHardwareDevice::Read>::subscribe(second, 1, "");
    std::lock_guard<std::recursive_mutex> lock(m_mutex);
    m_read_hooked = true;
    return true;
}

bool PairingDevice::on_subscribe(IHardwareDevice::Write*)
{
    std::shared_ptr<IHardwareDevice> first;
    {
        std::lock_guard<std::recursive_mutex> lock(m_mutex);
        m_write_hooked = true;
        first = m_primary;
    }
    return !first || Subscriber<IHardwareDevice::Write>::subscribe(first, 1, "IHardwareDevice::Write");
}

bool PairingDevice::on_subscribe(IHardwareDevice::FastDisconnect*)
{
    std::shared_ptr<IHardwareDevice> first;
    {
        std::lock_guard<std::recursive_mutex> lock(m_mutex);
        m_fast_disconnect_hooked = true;
        first = m_primary;
    }
    return !first ||
           Subscriber<IHardwareDevice::FastDisconnect>::subscribe(first, 1, "IHardwareDevice::FastDisconnect");
}

bool PairingDevice::on_subscribe(IHardwareDevice::Connect*)
{
    if (m_live)
        isConnected();
    return true;
}

} // namespace devio
