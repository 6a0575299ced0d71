#include "bluetooth/BluetoothMicrosoftDevice.h"

#include "bluetooth/BluetoothMicrosoftBus.h"

namespace devio {

BluetoothMicrosoftDevice::BluetoothMicrosoftDevice(std::shared_ptr<BluetoothMicrosoftBus> bus, std::string addressText,
                                                   std::uint64_t address, std::uint32_t kind)
    : m_address_text(std::move(addressText)), m_bus(bus), m_address(address), m_kind(kind)
{
    if (bus)
        set_run_loop(bus->Producer<IBluetoothBus::RadioArrivalRemovalExternal>::get_run_loop());
}

bool BluetoothMicrosoftDevice::isConnected()
{
    bool queried = false;
    bool connected = false;
    std::string radio;
    if (auto bus = m_bus.lock()) {
        if (!bus->start())
            return false;
        queried = bus->get_connect_state_via_bgdi(m_address, m_kind, &connected, &radio, nullptr);
    }
    std::lock_guard<std::mutex> lock(m_mutex);
    if (queried) {
        m_connected = connected;
        m_state_known = true;
        m_radio_path = radio;
    } else if (!m_state_known) {
        // Not known yet: optimistic, through a radio still to be identified.
        m_connected = true;
        if (m_radio_path.empty())
            m_radio_path = kUnknownRadio;
        return true;
    }
    return m_connected;
}

std::string BluetoothMicrosoftDevice::getRadioPath(std::string hintPath, std::uint32_t interfaceKind)
{
    std::string result;
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        if (m_connected)
            result = m_radio_path;
    }
    if (result == kUnknownRadio && interfaceKind != kNoInterfaceLookup && !hintPath.empty()) {
        auto bus = m_bus.lock();
        if (!bus) {
            set_last_error(72);
            return result;
        }
        std::string found = bus->findRadioForInterface(hintPath, interfaceKind);
        if (!found.empty()) {
            result = found;
            std::lock_guard<std::mutex> lock(m_mutex);
            m_radio_path = found;
        }
    }
    return result;
}

bool BluetoothMicrosoftDevice::verifyPairing(std::string& radioPath)
{
    auto bus = m_bus.lock();
    if (!bus) {
        set_last_error(72);
        return false;
    }
    if (!bus->start())
        return false;
    return bus->verify_pairing(m_address, radioPath, m_kind);
}

bool BluetoothMicrosoftDevice::isRadioPresent(std::string radioPath)
{
    auto bus = m_bus.lock();
    return bus && bus->hasRadio(radioPath);
}

std::string BluetoothMicrosoftDevice::getName()
{
    auto bus = m_bus.lock();
    if (!bus) {
        set_last_error(72);
        return {};
    }
    if (!bus->start())
        return {};
    std::string name;
    if (!bus->get_connect_state_via_bgdi(m_address, m_kind, nullptr, nullptr, &name))
        return {};
    return name;
}

std::shared_ptr<IBluetoothBus> BluetoothMicrosoftDevice::getBus() { return m_bus.lock(); }

void BluetoothMicrosoftDevice::onConnect(const std::string& radioPath)
{
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_radio_path = radioPath;
    }
    Producer<BtFastConnect>::notify([radioPath](BtFastConnect* s) { s->onBtFastConnect(radioPath); },
                                    "BluetoothMicrosoftDevice::BtFastConnect::onBtFastConnect");
    Producer<BtConnect>::notify([radioPath](BtConnect* s) { s->onBtConnect(radioPath); },
                                "BluetoothMicrosoftDevice::BtConnect::onBtConnect");
}

void BluetoothMicrosoftDevice::onDisconnect(const std::string&)
{
    Producer<BtFastConnect>::notify([](BtFastConnect* s) { s->onBtFastDisconnect(); },
                                    "BluetoothMicrosoftDevice::BtFastConnect::onBtFastDisconnect");
    Producer<BtConnect>::notify([](BtConnect* s) { s->onBtDisconnect(); },
                                "BluetoothMicrosoftDevice::BtConnect::onBtDisconnect");
}

void BluetoothMicrosoftDevice::onUnpair(const std::string& radioPath)
{
    Producer<BtUnpair>::notify([radioPath](BtUnpair* s) { s->onBtUnpair(radioPath); },
                               "BluetoothMicrosoftDevice::BtUnpair::onBtUnpair");
}

void BluetoothMicrosoftDevice::onPairingUpdate(const std::string& radioPath)
{
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        if (m_radio_path != kUnknownRadio)
            return;
        m_radio_path = radioPath;
    }
    Producer<BtConnect>::notify([radioPath](BtConnect* s) { s->onBtPairingUpdate(radioPath); },
                                "BluetoothMicrosoftDevice::BtConnect::onBtPairingUpdate");
}

bool BluetoothMicrosoftDevice::on_subscribe(IBluetoothDevice::BtConnect*)
{
    auto bus = m_bus.lock();
    if (!bus)
        return true;
    return bus->start() || last_error().code == 64;
}

} // namespace devio
