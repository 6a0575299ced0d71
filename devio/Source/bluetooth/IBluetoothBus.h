// The Bluetooth contract: a bus that knows which Bluetooth device stands behind a device path,
// and the device's link, radio, pairing and name. Failures leave the reason in the last error:
// 64 disabled, 72 bus or parent gone, 73 no such radio, 74 the stack refused, 42 radio open.
#pragma once

#include "core/Producer.h"

#include <cstdint>
#include <memory>
#include <string>

struct _DEV_BROADCAST_HDR;

namespace devio {

class IBluetoothDevice;

// Interface class of the Bluetooth radios; their interface paths are the radio paths.
// {0850302A-B344-4FDA-9BE9-90576B8D46F0}
constexpr char kUnknownRadio[] = "unknown";

enum BluetoothKind : std::uint32_t { BluetoothClassic = 2, BluetoothLowEnergy = 3 };
// Interface kind of getRadioPath that asks for no look-up through the hint.
constexpr std::uint32_t kNoInterfaceLookup = 5;

// "%02X%02X:%02X:%02X%02X%02X" of the low 48 bits.
std::string bluetooth_address_text(std::uint64_t address);

class IBluetoothBus {
public:
    class RadioArrivalRemovalInternal {
    public:
        virtual void onRadioArrival(std::string /*radioPath*/) {}
        virtual void onRadioRemoval(std::string /*radioPath*/) {}
        virtual ~RadioArrivalRemovalInternal() = default;
    };
    class RadioArrivalRemovalExternal {
    public:
        virtual void onRadioArrival(std::string /*radioPath*/) {}
        virtual void onRadioRemoval(std::string /*radioPath*/) {}
        virtual ~RadioArrivalRemovalExternal() = default;
    };

    virtual ~IBluetoothBus() = default;
    // Empty when the (lower-case) path belongs to no known Bluetooth device.
    virtual std::shared_ptr<IBluetoothDevice> findDevice(const std::string& path) = 0;
    // WM_DEVICECHANGE on the HID bus's window thread; the header may be null.
    virtual void onDeviceChange(std::uint32_t /*event*/, const _DEV_BROADCAST_HDR* /*header*/) {}
};

class IBluetoothDevice {
public:
    class BtConnect {
    public:
        virtual void onBtConnect(std::string /*radioPath*/) {}
        virtual void onBtPairingUpdate(std::string /*radioPath*/) {}
        virtual void onBtDisconnect() {}
        virtual ~BtConnect() = default;
    };
    // The same news as BtConnect, published just before it on the notifying thread.
    class BtFastConnect {
    public:
        virtual void onBtFastConnect(std::string /*radioPath*/) {}
        virtual void onBtFastDisconnect() {}
        virtual ~BtFastConnect() = default;
    };
    class BtUnpair {
    public:
        virtual void onBtUnpair(std::string /*radioPath*/) {}
        virtual ~BtUnpair() = default;
    };

    virtual ~IBluetoothDevice() = default;
    virtual bool isConnected() = 0;
    // Empty when not connected; "unknown" while the radio is not identified.
    virtual std::string getRadioPath(std::string hintPath, std::uint32_t interfaceKind) = 0;
    // radioPath in: the radio to ask; out: cleared when the pairing is gone.
    virtual bool verifyPairing(std::string& radioPath) = 0;
    virtual bool isRadioPresent(std::string radioPath) = 0;
    virtual std::uint32_t getTransport() = 0;
    virtual std::string getName() = 0;
    virtual bool isUsable() { return true; }
    virtual std::shared_ptr<IBluetoothBus> getBus() = 0;
    virtual std::string getAddressText() = 0;
};

} // namespace devio
