#pragma once
// A simulated protocol keyboard or mouse on Bluetooth, seen from the device side: classic (HID
// collections under a BTHENUM node, L2CAP events on the HID interrupt channel) or LE (a GATT
// server with Device Information and the protocol service, HID collections under a BTHLEDEVICE
// node, a Win32 GATT service interface, advertisements). The stack knows it by address, paired
// per radio; it connects through one radio and may leave range.

#include "devices/SimProtocolDevice.h"

#include <sim/Bluetooth.h>
#include <sim/Gatt.h>
#include <sim/HidCollection.h>

#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

namespace platform::sim {

struct SimBluetoothConfig {
    std::uint64_t address = 0xA0B1C2D3E4F5ull;
    bool lowEnergy = true;
    // The protocol service: its own characteristic, the direct-index form (a characteristic
    // with the service's UUID), or both services of the second form as well.
    enum class Form { Characteristic, DirectIndex, BothServices } form = Form::Characteristic;
    bool win32GattInterface = true;  // a service interface for the Win32 GATT functions
    bool hidCollections = true;      // the HID collections under the Bluetooth node
    std::string serial = "SN0001";
    std::size_t pnpIdSize = 7;       // under 5: a short PnP ID
    // While the bootloader runs the device is at this address (0: the same).
    std::uint64_t bootloaderAddress = 0;
};

class SimBluetoothDevice {
public:
    // Protocol characteristic handles of the GATT server.
    static constexpr std::uint16_t kProtocolHandle = 0x20;
    static constexpr std::uint16_t kSecondProtocolHandle = 0x30;

    SimBluetoothDevice(SimProtocolConfig protocol, SimBluetoothConfig config);
    ~SimBluetoothDevice();
    SimBluetoothDevice(const SimBluetoothDevice&) = delete;
    SimBluetoothDevice& operator=(const SimBluetoothDevice&) = delete;

    SimProtocolDevice& model() { return *m_model; }
    std::shared_ptr<GattServer> gatt() const { return m_gatt; }
    std::uint64_t address() const;
    const SimBluetoothConfig& config() const { return m_config; }
    std::string name() const;
    // The Win32 GATT interface path (lower case), empty without one.
    std::string gatt_path() const;
    std::vector<std::string> hid_paths() const;

    // Pairing with a radio (the stack remembers it; the registry gets the device's keys).
    void pair(DevInst radio);
    void unpair(DevInst radio);
    // The link through a paired radio: collections and interfaces appear, the stack's events go out.
    void connect(DevInst radio);
    void disconnect();
    bool connected() const;
    DevInst radio() const;
    // Out of range: the link drops and every GATT call fails until it comes back.
    void leave_range();
    void enter_range();
    // An advertisement to started runtime advertisement watchers.
    void advertise(bool withName = true, bool withService = true);

    // Called when the device connects, disconnects or changes address (for the runtime's objects).
    using LinkHandler = std::function<void(bool connected)>;
    void set_link_handler(LinkHandler handler);

private:
    void build_nodes();
    void remove_nodes();
    void publish_stack();
    void on_presence(bool present);
    void from_model(const Bytes& report);
    void to_model(std::uint16_t characteristic, const GattBytes& value);
    std::string address_text12() const;

    SimBluetoothConfig m_config;
    std::unique_ptr<SimProtocolDevice> m_model;
    std::shared_ptr<GattServer> m_gatt;

    mutable std::recursive_mutex m_mutex;
    std::uint64_t m_address = 0;
    std::string m_name;
    std::vector<DevInst> m_paired;
    DevInst m_radio = 0;
    bool m_in_range = true;
    DevInst m_node = 0;       // the Bluetooth device's node (collections below)
    DevInst m_gatt_node = 0;  // the Win32 GATT service interface
    std::string m_gatt_path;
    std::vector<std::shared_ptr<HidCollection>> m_collections;
    LinkHandler m_link_handler;
    bool m_direct_index = false;
    unsigned m_restarts_seen = 0;  // the model's firmware restarts when it was last found
    bool m_unlisted = false;       // restarted into other firmware: the runtime lists it once its link is up
};

// Registers the scenario kinds "bt-keyboard", "bt-mouse" (classic), "ble-keyboard" and
// "ble-mouse" (LE). Runs by itself in every program that links the models.
void register_bluetooth_scenario_kinds();

}  // namespace platform::sim
