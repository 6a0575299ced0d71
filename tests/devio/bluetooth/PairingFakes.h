// Fakes around the pairing bus: a child bus of hardware devices, a Bluetooth bus of live devices
// whose link, radio and pairing a test sets, and logs of what the bus publishes and reports. Free
// of the test framework, so that a fuzz target drives the bus through them too.
#pragma once

#include "bluetooth/IBluetoothBus.h"
#include "bluetooth/PairingBus.h"
#include "bluetooth/PairingDevice.h"
#include "core/DataRequest.h"
#include "core/DeviceManager.h"
#include "core/IDeviceFactory.h"

#include <map>
#include <set>

namespace bt_test {

using namespace devio;

class NullFactory : public IDeviceFactory {
public:
    std::shared_ptr<IHardwareBus> make_platform_bus(std::shared_ptr<IDeviceManager>) override { return nullptr; }
    std::shared_ptr<IHardwareBus> make_combiner_bus(std::shared_ptr<IDeviceManager>, std::shared_ptr<IHardwareBus> c) override
    {
        return c;
    }
    std::shared_ptr<IHardwareBus> make_pairing_bus(std::shared_ptr<IDeviceManager>, std::shared_ptr<IHardwareBus> c) override
    {
        return c;
    }
    std::shared_ptr<IDevice> make_device(std::shared_ptr<IDeviceManager>, std::shared_ptr<IHardwareDevice>,
                                         std::shared_ptr<Configuration>, const std::string&) override
    {
        return nullptr;
    }
    std::shared_ptr<IDevice> make_receiver(std::shared_ptr<IDeviceManager>, std::shared_ptr<IHardwareDevice>,
                                           std::uint32_t, std::shared_ptr<Configuration>) override
    {
        return nullptr;
    }
    std::shared_ptr<IHardwareBus> as_bus(const std::shared_ptr<IDevice>&) override { return nullptr; }
    void set_cache_directory(const std::shared_ptr<IDevice>&, const std::string&) override {}
    void release_configuration(const std::shared_ptr<IDevice>&) override {}
    void replay_connect(const std::shared_ptr<IDevice>&) override {}
};

class FakeHw : public IHardwareDevice,
               public Producer<IHardwareDevice::Read>,
               public Producer<IHardwareDevice::Write>,
               public Producer<IHardwareDevice::Connect>,
               public Producer<IHardwareDevice::FastDisconnect> {
public:
    FakeHw(std::string path, std::uint16_t pid, std::uint32_t transport, std::string name = "")
        : path(std::move(path)), pid(pid), transport(transport), name(std::move(name))
    {
    }
    bool isConnected() override { return true; }
    bool open() override
    {
        ++opens;
        return open_result;
    }
    void close() override { ++closes; }
    bool write(std::vector<Byte> report, bool) override
    {
        written.push_back(report);
        Producer<IHardwareDevice::Write>::notify([report](IHardwareDevice::Write* s) { s->onWrite(report, 0, 0); },
                                                 "FakeHw::Write::onWrite");
        return true;
    }
    std::shared_ptr<IHardwareBus> getBus() override { return nullptr; }
    std::string getPath() override { return path; }
    std::uint16_t getProductId() override { return pid; }
    std::string getName() override { return name; }
    std::shared_ptr<IDataRequest<std::string>> nameRequest() override { return make_data_success(name); }
    std::uint32_t getTransportType() override { return transport; }
    std::uint32_t getSubIndex() override { return 0; }
    bool stillPresent() override { return present; }
    void read(std::vector<Byte> data)
    {
        Producer<IHardwareDevice::Read>::notify([data](IHardwareDevice::Read* s) { s->onRead(data, false, 0, 20); },
                                                "FakeHw::Read::onRead");
    }
    void fast_disconnect()
    {
        Producer<IHardwareDevice::FastDisconnect>::notify([](IHardwareDevice::FastDisconnect* s) { s->onFastDisconnect(); },
                                                          "FakeHw::FastDisconnect::onFastDisconnect");
    }

    std::string path;
    std::uint16_t pid;
    std::uint32_t transport;
    std::string name;
    bool open_result = true;
    bool present = true;
    int opens = 0;
    int closes = 0;
    std::vector<std::vector<Byte>> written;
};

class FakeBtBus;

class FakeBtDevice : public IBluetoothDevice,
                     public Producer<IBluetoothDevice::BtConnect>,
                     public Producer<IBluetoothDevice::BtFastConnect>,
                     public Producer<IBluetoothDevice::BtUnpair> {
public:
    FakeBtDevice(std::weak_ptr<FakeBtBus> bus, std::string address, std::uint32_t kind)
        : bus(std::move(bus)), address(std::move(address)), kind(kind)
    {
    }
    bool isConnected() override { return connected; }
    std::string getRadioPath(std::string, std::uint32_t) override { return connected ? radio : std::string(); }
    bool verifyPairing(std::string& radioPath) override
    {
        ++verifications;
        if (verify_fails) {
            set_last_error(74, 5);
            return false;
        }
        if (radioPath != kUnknownRadio && !paired)
            radioPath.clear();
        return true;
    }
    bool isRadioPresent(std::string radioPath) override;
    std::uint32_t getTransport() override { return kind; }
    std::string getName() override { return name; }
    std::shared_ptr<IBluetoothBus> getBus() override;
    std::string getAddressText() override { return address; }

    void connect(const std::string& through)
    {
        connected = true;
        radio = through;
        Producer<BtFastConnect>::notify([through](BtFastConnect* s) { s->onBtFastConnect(through); }, "fast");
        Producer<BtConnect>::notify([through](BtConnect* s) { s->onBtConnect(through); }, "connect");
    }
    void disconnect()
    {
        connected = false;
        Producer<BtFastConnect>::notify([](BtFastConnect* s) { s->onBtFastDisconnect(); }, "fast");
        Producer<BtConnect>::notify([](BtConnect* s) { s->onBtDisconnect(); }, "connect");
    }
    void unpair(const std::string& from)
    {
        paired = false;
        Producer<BtUnpair>::notify([from](BtUnpair* s) { s->onBtUnpair(from); }, "unpair");
    }

    std::weak_ptr<FakeBtBus> bus;
    std::string address;
    std::uint32_t kind;
    std::string name;
    bool connected = false;
    bool paired = true;
    bool verify_fails = false;
    std::string radio;
    int verifications = 0;
};

class FakeBtBus : public IBluetoothBus,
                  public Producer<IBluetoothBus::RadioArrivalRemovalExternal>,
                  public std::enable_shared_from_this<FakeBtBus> {
public:
    std::shared_ptr<IBluetoothDevice> findDevice(const std::string& path) override
    {
        auto it = by_path.find(path);
        return it == by_path.end() ? nullptr : it->second;
    }
    std::shared_ptr<FakeBtDevice> add(const std::string& path, const std::string& address, std::uint32_t kind)
    {
        auto& device = by_address[address];
        if (!device)
            device = std::make_shared<FakeBtDevice>(weak_from_this(), address, kind);
        device->set_run_loop(get_run_loop());
        by_path[path] = device;
        return device;
    }
    void radio_arrives(const std::string& radio)
    {
        radios.insert(radio);
        notify([radio](RadioArrivalRemovalExternal* s) { s->onRadioArrival(radio); }, "arrival");
    }
    void radio_leaves(const std::string& radio)
    {
        radios.erase(radio);
        notify([radio](RadioArrivalRemovalExternal* s) { s->onRadioRemoval(radio); }, "removal");
    }
    std::map<std::string, std::shared_ptr<FakeBtDevice>> by_path;
    std::map<std::string, std::shared_ptr<FakeBtDevice>> by_address;
    std::set<std::string> radios;
};

inline bool FakeBtDevice::isRadioPresent(std::string radioPath)
{
    auto b = bus.lock();
    if (!b)
        return false;
    return radioPath == kUnknownRadio ? !b->radios.empty() : b->radios.count(radioPath) != 0;
}

inline std::shared_ptr<IBluetoothBus> FakeBtDevice::getBus() { return bus.lock(); }

class FakeChildBus : public IHardwareBus,
                     public Producer<IHardwareBus::PlugUnplug>,
                     public std::enable_shared_from_this<FakeChildBus> {
public:
    std::vector<std::shared_ptr<IHardwareDevice>> enumerate() override
    {
        return {devices.begin(), devices.end()};
    }
    std::vector<std::shared_ptr<IBluetoothBus>> getBluetoothBuses() override { return bluetooth; }
    std::vector<std::shared_ptr<IHardwareBus>> getSecondaryBuses() override { return secondaries; }
    void plug(std::shared_ptr<FakeHw> hw)
    {
        devices.push_back(hw);
        notify([hw](PlugUnplug* s) { s->onPlug(hw); }, "FakeChildBus::PlugUnplug::onPlug");
    }
    // A placeholder of the same path, as removals carry.
    void unplug(const std::string& path)
    {
        for (auto it = devices.begin(); it != devices.end(); ++it)
            if ((*it)->path == path) {
                devices.erase(it);
                break;
            }
        auto placeholder = std::make_shared<FakeHw>(path, 0, 0);
        notify([placeholder](PlugUnplug* s) { s->onUnplug(placeholder); }, "FakeChildBus::PlugUnplug::onUnplug");
    }
    std::vector<std::shared_ptr<FakeHw>> devices;
    std::vector<std::shared_ptr<IBluetoothBus>> bluetooth;
    std::vector<std::shared_ptr<IHardwareBus>> secondaries;
};

class PlugLog : public Subscriber<IHardwareBus::PlugUnplug> {
public:
    void onPlug(std::shared_ptr<IHardwareDevice> d) override { log.push_back("+" + d->getPath()); }
    void onUnplug(std::shared_ptr<IHardwareDevice> d) override { log.push_back("-" + d->getPath()); }
    std::vector<std::string> log;
};

class ErrorLog : public Subscriber<IDeviceManager::UnreportedError> {
public:
    void onUnreportedError(const char* context, ErrorCode code, const char* text, unsigned long detail) override
    {
        errors.push_back(std::string(context) + "|" + std::to_string(code) + "|" + (text ? text : ""));
        details.push_back(detail);
    }
    std::vector<std::string> errors;
    std::vector<unsigned long> details;
};

} // namespace bt_test
