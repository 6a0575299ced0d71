// The bus the device manager sees over the platform bus once that bus has Bluetooth buses: every
// device of the child bus (and, with items 2 or 3, of its secondary buses) is announced as a
// PairingDevice, so that a Bluetooth device keeps its identity while its collections, channels
// and link come and go. Bluetooth devices are remembered across runs in "paired.xml".
#pragma once

#include "bluetooth/IBluetoothBus.h"
#include "core/IDeviceManager.h"
#include "core/IHardwareBus.h"
#include "core/IHardwareDevice.h"
#include "core/Producer.h"

#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

namespace devio {

class PairingDevice;

class PairingBus : public IHardwareBus,
                   public Producer<IHardwareBus::PlugUnplug>,
                   public Subscriber<IHardwareBus::PlugUnplug>,
                   public Subscriber<IBluetoothBus::RadioArrivalRemovalExternal>,
                   public std::enable_shared_from_this<PairingBus> {
public:
    PairingBus(std::shared_ptr<IDeviceManager> manager, std::shared_ptr<IHardwareBus> childBus);
    ~PairingBus() override;

    // IHardwareBus
    std::vector<std::shared_ptr<IHardwareDevice>> enumerate() override;
    std::vector<std::shared_ptr<IBluetoothBus>> getBluetoothBuses() override { return {}; }
    // Loads "paired.xml" from the directory; an empty directory loads and saves nothing. A file that
    // exists but cannot be read is not saved over: the bus reads it again before it would save
    // (at enumeration, refresh, plug and unplug), and until then reports each save it skips.
    void setDataDirectory(std::string directory) override;
    bool needsCombiner() override { return false; }
    std::vector<std::shared_ptr<IHardwareBus>> getSecondaryBuses() override { return {}; }
    void refresh() override;

    // Child and secondary buses' events (through the run loop).
    void onPlug(std::shared_ptr<IHardwareDevice> device) override;
    void onUnplug(std::shared_ptr<IHardwareDevice> device) override;
    void onPowerChange(bool on) override;
    // Bluetooth buses' radio events (on their threads).
    void onRadioArrival(std::string radioPath) override;
    void onRadioRemoval(std::string radioPath) override;

    // Called back by the remembered devices.
    void publish_plug(const std::shared_ptr<PairingDevice>& device);
    void on_unpair(const std::shared_ptr<PairingDevice>& device);
    void report_error(const char* context);

    std::shared_ptr<IHardwareBus> child() const { return m_child; }
    std::vector<std::shared_ptr<PairingDevice>> remembered() const;
    std::string paired_file_path() const;

protected:
    bool on_subscribe(IHardwareBus::PlugUnplug* subscriber) override;

private:
    std::shared_ptr<IBluetoothDevice> find_bluetooth_device(const std::string& path);
    bool route_channel(const std::shared_ptr<IBluetoothDevice>& live, const std::shared_ptr<IHardwareDevice>& hardware);
    void attach_parked_channel(const std::shared_ptr<PairingDevice>& device);
    void park_channel(const std::shared_ptr<PairingDevice>& device);
    void release_channel(const std::shared_ptr<IHardwareDevice>& hardware);
    bool is_remembered(const std::string& path) const;
    // Makes, stores, fits with its parked channel and announces the device of a path; empty when
    // another thread remembered the path meanwhile. Called without the lock.
    std::shared_ptr<PairingDevice> remember_device(const std::shared_ptr<IHardwareDevice>& hardware,
                                                   std::shared_ptr<IBluetoothDevice> live);
    void publish_unplug(const std::shared_ptr<PairingDevice>& device);
    bool secondaries_used() const { return m_config[2] || m_config[3]; }
    std::vector<std::shared_ptr<IHardwareBus>> secondary_buses();
    void save();
    void load(const std::string& text);
    // Reads and loads the file; false when it could not be read (the bus then keeps it unread) or
    // did not parse. Called without the lock.
    bool read_file(const std::string& file);
    void mark_read(const std::string& file);
    void read_unread_file();

    const std::weak_ptr<IDeviceManager> m_manager;
    const std::shared_ptr<IHardwareBus> m_child;
    bool m_config[4] = {};  // items 0 to 3 when the bus was made

    // The maps and the file path. Recursive: remembered devices call back into the bus on the
    // thread that holds it (a radio learned while the bus asks a device). Not held while a device
    // is made: making one subscribes to its live device, whose bus may start then and publish its
    // radios, under its producer's lock, to this bus's handlers, which take this one.
    mutable std::recursive_mutex m_mutex;
    std::map<std::string, std::shared_ptr<PairingDevice>> m_remembered;
    std::map<std::string, std::shared_ptr<IHardwareDevice>> m_parked;
    std::string m_file;
    bool m_file_unread = false;     // m_file exists but was not read yet: no save may replace it
    std::uint32_t m_read_error = 0;  // the system's error of the last read that failed
};

} // namespace devio
