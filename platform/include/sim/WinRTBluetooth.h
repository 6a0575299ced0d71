// Control of the stand-in Windows Runtime's Bluetooth world: the devices its watchers list, their
// links, advertisements, the radio (the first simulated radio) and faults.
#pragma once

#include <sim/Gatt.h>

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace platform::sim {

struct RuntimeDevice {
    std::uint64_t address = 0;
    std::string name;
    bool lowEnergy = true;
    bool paired = true;
    bool connected = false;
    std::shared_ptr<GattServer> gatt;  // LE: its services
};

// Added (or changed): running watchers of its kind hear Added for a new paired device.
void runtime_set_device(const RuntimeDevice& device);
void runtime_remove_device(std::uint64_t address);
// Watchers hear Updated with IsConnected; the device's objects hear ConnectionStatusChanged.
void runtime_set_connected(std::uint64_t address, bool connected);
// Started advertisement watchers hear it.
void runtime_advertise(std::uint64_t address, const std::string& localName, const std::vector<GUID>& services);
// The radio's state follows the first simulated radio; its objects hear StateChanged.
void runtime_radio_changed();

// ---- faults ----
// Radio access answer (1 Allowed, 2 denied by the user, ...).
void set_runtime_radio_access(int status);
// Device watchers abort instead of completing their enumeration.
void set_runtime_watchers_abort(bool abort);
// BluetoothLEDevice.FromBluetoothAddressAsync answers no device.
void set_runtime_no_le_device(bool none);
// GATT service access answer (1 Allowed).
void set_runtime_service_access(int status);
// GetResults of the next completed operations fails with this error (0: off).
void set_runtime_results_failure(HRESULT error);

// Waits until the runtime's event thread has nothing to do (false after `timeoutMs`).
bool wait_runtime_events(unsigned timeoutMs);
unsigned runtime_watchers_started();
std::size_t runtime_live_watchers();

}  // namespace platform::sim
