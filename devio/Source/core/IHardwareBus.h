#pragma once
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace devio {

class IHardwareDevice;
class IBluetoothBus;

// A source of hardware devices; concrete buses also derive from Producer<PlugUnplug>.
// Failures: empty results plus the thread's last error; never exceptions.
class IHardwareBus {
public:
    class PlugUnplug {
    public:
        virtual void onPlug(std::shared_ptr<IHardwareDevice> /*device*/) {}
        // Identify the device by getPath(): the object may differ from the one plugged.
        virtual void onUnplug(std::shared_ptr<IHardwareDevice> /*device*/) {}
        virtual void onPowerChange(bool /*on*/) {}
        virtual ~PlugUnplug() = default;
    };

    virtual ~IHardwareBus() = default;
    // Devices present now; empty with a non-zero last error means enumeration failed.
    virtual std::vector<std::shared_ptr<IHardwareDevice>> enumerate() = 0;
    virtual std::uintptr_t reserved() { return 0; }
    virtual std::vector<std::shared_ptr<IBluetoothBus>> getBluetoothBuses() { return {}; }
    virtual void setDataDirectory(std::string /*directory*/) {}
    // True for buses of single HID collections that a combiner must merge per physical device.
    virtual bool needsCombiner() { return false; }
    virtual std::vector<std::shared_ptr<IHardwareBus>> getSecondaryBuses() { return {}; }
    virtual void refresh() {}
};

} // namespace devio
