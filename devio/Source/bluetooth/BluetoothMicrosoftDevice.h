// One Bluetooth device as the Windows Bluetooth stack sees it, by address. It answers from its
// bus (which asks the stack) and relays the bus's connect, disconnect, pairing and unpair news.
#pragma once

#include "bluetooth/IBluetoothBus.h"
#include "core/Producer.h"

#include <memory>
#include <mutex>
#include <string>

namespace devio {

class BluetoothMicrosoftBus;

class BluetoothMicrosoftDevice : public IBluetoothDevice,
                                 public Producer<IBluetoothDevice::BtConnect>,
                                 public Producer<IBluetoothDevice::BtFastConnect>,
                                 public Producer<IBluetoothDevice::BtUnpair>,
                                 public std::enable_shared_from_this<BluetoothMicrosoftDevice> {
public:
    BluetoothMicrosoftDevice(std::shared_ptr<BluetoothMicrosoftBus> bus, std::string addressText,
                             std::uint64_t address, std::uint32_t kind);

    bool isConnected() override;
    std::string getRadioPath(std::string hintPath, std::uint32_t interfaceKind) override;
    bool verifyPairing(std::string& radioPath) override;
    bool isRadioPresent(std::string radioPath) override;
    std::uint32_t getTransport() override { return m_kind; }
    std::string getName() override;
    std::shared_ptr<IBluetoothBus> getBus() override;
    std::string getAddressText() override { return m_address_text; }
    std::uint64_t address() const { return m_address; }

    // From the bus, on its window thread.
    void onConnect(const std::string& radioPath);
    void onDisconnect(const std::string& radioPath);
    void onUnpair(const std::string& radioPath);
    void onPairingUpdate(const std::string& radioPath);

protected:
    // Subscribing to BtConnect starts the bus's radio watching.
    bool on_subscribe(IBluetoothDevice::BtConnect* subscriber) override;

private:
    const std::string m_address_text;
    const std::weak_ptr<BluetoothMicrosoftBus> m_bus;
    const std::uint64_t m_address;
    const std::uint32_t m_kind;

    std::mutex m_mutex;  // the connection fields
    bool m_connected = false;
    bool m_state_known = false;
    std::string m_radio_path;
};

} // namespace devio
