// Control of the simulated Bluetooth stack: radios (device nodes with the radio interface, opened
// by CreateFileW), the devices the stack knows with their pairings and links, the custom events
// sent to windows watching a radio handle, and the registry keys of paired devices.
#pragma once

#include <sim/DeviceTree.h>

#include <windows.h>

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace platform::sim {

// {0850302A-B344-4FDA-9BE9-90576B8D46F0}
const GUID& radio_interface_class();
// {7EAE4030-B709-4AA8-AC55-E953829C9DAA}: data = address (u64), PSM (u16 at 8), connected (u8 at 10).
const GUID& l2cap_event_guid();
// {EA3B5B82-26EE-450E-B0D8-D26FE30A3869}: data = flags (u32), address (u64 at 8), previous flags (u32 at 272).
const GUID& radio_in_range_event_guid();

// Device flags of the radio-in-range event.
constexpr std::uint32_t kBtConnected = 0x20;
constexpr std::uint32_t kBtRememberedClassic = 0x10;
constexpr std::uint32_t kBtRememberedLE = 0x20000;

// A radio node, plugged. `name` makes its instance id and path unique.
DevInst add_radio(const std::string& name);
std::string radio_path(DevInst radio);  // lower case, as the interface lists it
// Opening the radio fails with ERROR_ACCESS_DENIED while set.
void set_radio_access_denied(DevInst radio, bool denied);
// Off radios stay in the tree; the Windows Runtime reports their state.
void set_radio_on(DevInst radio, bool on);
bool radio_on(DevInst radio);
std::vector<DevInst> radios();

// The stack's record of a device. Remembered per radio; connected through one radio at most.
struct StackDevice {
    std::uint64_t address = 0;
    std::string name;
    bool lowEnergy = false;
    std::vector<DevInst> pairedRadios;
    DevInst connectedRadio = 0;
    bool inRange = true;
};
void set_stack_device(const StackDevice& device);
std::optional<StackDevice> stack_device(std::uint64_t address);
void remove_stack_device(std::uint64_t address);
// Look-ups of BluetoothGetDeviceInfo fail with this error (0: answer) while set.
void set_device_info_failure(DWORD error);
unsigned device_info_calls();

void send_l2cap_event(DevInst radio, std::uint64_t address, std::uint16_t psm, bool connected);
void send_radio_in_range_event(DevInst radio, std::uint64_t address, std::uint32_t flags,
                               std::uint32_t previousFlags);

// HKLM\SYSTEM\CurrentControlSet\Enum\<root>\<service>\<instance>, with "ParentIDPrefix" and
// "Device Parameters"\"BluetoothAddress" (8 bytes) when given. Root "BTHENUM" or "BTHLEDevice".
void add_bluetooth_registry_entry(const std::string& root, const std::string& service, const std::string& instance,
                                  const std::optional<std::string>& parentIdPrefix,
                                  const std::optional<std::uint64_t>& address, bool deviceParameters = true);

}  // namespace platform::sim
