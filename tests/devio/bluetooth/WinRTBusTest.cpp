// The Windows Runtime Bluetooth bus and device over the stand-in runtime and simulated devices.
#include "BusTestSupport.h"

#include "bluetooth/BluetoothMakers.h"
#include "bluetooth/WinRTBluetoothBus.h"
#include "bluetooth/WinRTBluetoothDevice.h"
#include "devices/SimBluetoothDevice.h"
#include "Windows/Win32Bus.h"

#include <sim/Kernel.h>
#include <sim/WinRT.h>
#include <sim/WinRTBluetooth.h>

#include <gtest/gtest.h>

namespace {

using namespace devio;
using namespace platform::sim;
using namespace std::chrono_literals;
using Bytes = std::vector<Byte>;

class Log : public Subscriber<IHardwareBus::PlugUnplug>,
            public Subscriber<IHardwareDevice::Read>,
            public Subscriber<IHardwareDevice::Connect> {
public:
    void onPlug(std::shared_ptr<IHardwareDevice> d) override { add("+" + d->getPath(), d); }
    void onUnplug(std::shared_ptr<IHardwareDevice> d) override { add("-" + d->getPath(), d); }
    void onRead(Bytes data, bool, unsigned, unsigned length) override
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        reads.emplace_back(std::move(data), length);
        m_cv.notify_all();
    }
    void onConnect(std::shared_ptr<IHardwareDevice> d) override { add("connect " + d->getPath(), d); }
    void onDisconnect(std::shared_ptr<IHardwareDevice> d) override { add("disconnect " + d->getPath(), d); }
    bool wait_events(std::size_t n)
    {
        std::unique_lock<std::mutex> lock(m_mutex);
        return m_cv.wait_for(lock, 10s, [&] { return events.size() >= n; });
    }
    bool wait_reads(std::size_t n)
    {
        std::unique_lock<std::mutex> lock(m_mutex);
        return m_cv.wait_for(lock, 10s, [&] { return reads.size() >= n; });
    }
    std::vector<std::string> take()
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        return std::exchange(events, {});
    }
    std::shared_ptr<IHardwareDevice> last()
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        return m_last;
    }
    std::vector<std::pair<Bytes, unsigned>> reads;

private:
    void add(std::string e, std::shared_ptr<IHardwareDevice> d)
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        events.push_back(std::move(e));
        m_last = std::move(d);
        m_cv.notify_all();
    }
    std::mutex m_mutex;
    std::condition_variable m_cv;
    std::vector<std::string> events;
    std::shared_ptr<IHardwareDevice> m_last;
};

const Bytes kPing = {0x10, 0xFF, 0x00, 0x1A, 0x00, 0x00, 0x5A};

class WinRT : public ::testing::Test {
protected:
    void SetUp() override
    {
        reset_machine();
        remove_all_dev_nodes();
        host = test::host_bluetooth_manager(manager, {1, 3});
        radio = add_radio("a");
        ASSERT_TRUE(wait_runtime_idle(10000));
        objects = Microsoft::WRL::live_object_count();
    }
    void TearDown() override
    {
        log.reset();
        bus.reset();
        win32.reset();
        devices.clear();
        host.reset();
        remove_all_dev_nodes();
        ASSERT_TRUE(wait_runtime_events(10000));
        ASSERT_TRUE(wait_runtime_idle(10000));
        EXPECT_EQ(Microsoft::WRL::live_object_count(), objects);
    }
    std::shared_ptr<WinRTBluetoothBus> make_bus(bool subscribe = true)
    {
        win32 = Win32Bus::create(manager);
        auto secondary = win32->getSecondaryBuses();
        EXPECT_EQ(secondary.size(), 1u);
        bus = secondary.empty() ? nullptr : std::dynamic_pointer_cast<WinRTBluetoothBus>(secondary[0]);
        log = std::make_unique<Log>();
        if (bus && subscribe) {
            EXPECT_TRUE(log->Subscriber<IHardwareBus::PlugUnplug>::subscribe(bus, 1, ""));
        }
        return bus;
    }
    SimBluetoothDevice& add_device(SimBluetoothConfig config, bool connect = true, std::string name = "Sim Mouse")
    {
        SimProtocolConfig protocol = sim_mouse_config();
        protocol.product_id = 0xB010;
        protocol.name = name;
        devices.push_back(std::make_unique<SimBluetoothDevice>(protocol, config));
        devices.back()->pair(radio);
        if (connect)
            devices.back()->connect(radio);
        return *devices.back();
    }

    long objects = 0;
    std::shared_ptr<DeviceManager> manager = std::make_shared<DeviceManager>(nullptr);
    std::unique_ptr<test::LoopHost> host;
    DevInst radio = 0;
    std::vector<std::unique_ptr<SimBluetoothDevice>> devices;
    std::shared_ptr<Win32Bus> win32;
    std::shared_ptr<WinRTBluetoothBus> bus;
    std::unique_ptr<Log> log;
};

TEST_F(WinRT, WatchersAnnounceDevicesThatAnswerThroughTheirCharacteristic)
{
    struct Case {
        const char* name;
        SimBluetoothConfig::Form form;
        std::size_t pnpSize;
        std::uint16_t pid;
    };
    const Case cases[] = {
        {"protocol characteristic", SimBluetoothConfig::Form::Characteristic, 7, 0xB010},
        {"both services", SimBluetoothConfig::Form::BothServices, 7, 0xB010},
        {"short PnP ID keeps the product id", SimBluetoothConfig::Form::Characteristic, 4, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        SimBluetoothConfig config;
        config.form = c.form;
        config.pnpIdSize = c.pnpSize;
        auto& sim = add_device(config);
        make_bus();
        const auto found = bus->enumerate();
        ASSERT_EQ(found.size(), 1u);
        auto device = std::dynamic_pointer_cast<WinRTBluetoothDevice>(found[0]);
        EXPECT_EQ(device->getPath(), "a0:b1:c2:d3:e4:f5");
        EXPECT_EQ(device->getName(), "Sim Mouse");
        EXPECT_EQ(device->getProductId(), c.pid);
        EXPECT_EQ(device->serial_number(), "SN0001");
        EXPECT_EQ(device->getTransportType(), TransportBluetoothLE);
        EXPECT_TRUE(device->isConnected());
        ASSERT_TRUE(log->Subscriber<IHardwareDevice::Read>::subscribe(found[0], 1, ""));
        ASSERT_TRUE(device->write(kPing, true));
        ASSERT_TRUE(log->wait_reads(1));
        EXPECT_EQ(log->reads[0].first.size(), 20u);
        EXPECT_EQ(log->reads[0].first[1], 0xFF);
        EXPECT_EQ(log->reads[0].first[3], 0x1A);
        // The 18-byte payload went to the device.
        const auto written = sim.gatt()->written();
        ASSERT_FALSE(written.empty());
        EXPECT_EQ(written.back().size(), 18u);
        log.reset();
        bus.reset();
        win32.reset();
        devices.clear();
        ASSERT_TRUE(wait_runtime_events(10000));
    }
}

TEST_F(WinRT, WritesThatCannotBeMappedOrDeliveredFail)
{
    add_device({});
    make_bus();
    const auto found = bus->enumerate();
    ASSERT_EQ(found.size(), 1u);
    auto device = std::dynamic_pointer_cast<WinRTBluetoothDevice>(found[0]);
    struct Case {
        const char* name;
        Bytes report;
        ErrorCode code;
    };
    const Case cases[] = {{"nothing", {}, 71}, {"one byte", {0x10}, 71}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_FALSE(device->write(c.report, false));
        EXPECT_EQ(last_error().code, c.code);
    }
    // A failed GetResults is no success status.
    set_runtime_results_failure(E_ACCESSDENIED);
    EXPECT_FALSE(device->write(kPing, false));
    EXPECT_EQ(last_error().code, 1u);
    set_runtime_results_failure(0);
    EXPECT_TRUE(device->write(kPing, false));
    // Not connected: refused before anything is sent.
    devices[0]->disconnect();
    ASSERT_TRUE(wait_runtime_events(10000));
    EXPECT_FALSE(device->write(kPing, false));
    EXPECT_EQ(last_error().code, 5u);
    EXPECT_STREQ(last_error().text, "Not connected");
}

TEST_F(WinRT, TheSameSerialAtANewAddressReplacesTheOldDeviceFirst)
{
    SimBluetoothConfig first;
    first.address = 0x111111111111;
    add_device(first);
    make_bus();
    ASSERT_EQ(bus->enumerate().size(), 1u);
    ASSERT_TRUE(log->wait_events(1));
    log->take();
    SimBluetoothConfig moved;
    moved.address = 0x222222222222;
    add_device(moved);
    ASSERT_TRUE(log->wait_events(2));
    EXPECT_EQ(log->take(), (std::vector<std::string>{"-11:11:11:11:11:11", "+22:22:22:22:22:22"}));

    // Devices without a serial take no part in the check.
    SimBluetoothConfig blankA, blankB;
    blankA.address = 0x333333333333;
    blankA.serial = "";
    blankB.address = 0x444444444444;
    blankB.serial = "";
    add_device(blankA);
    add_device(blankB);
    ASSERT_TRUE(log->wait_events(2));
    EXPECT_EQ(log->take(), (std::vector<std::string>{"+33:33:33:33:33:33", "+44:44:44:44:44:44"}));
    EXPECT_EQ(bus->enumerate().size(), 3u);
}

TEST_F(WinRT, AdvertisementsAnnounceNamedProtocolDevicesWhileScanning)
{
    auto& sim = add_device({}, true);
    runtime_remove_device(sim.address());  // known by its advertisements only
    make_bus();
    EXPECT_TRUE(bus->enumerate().empty());
    manager->setConfig(ConfigItem(4), true);
    bus->onConfigChanged(ConfigItem(4), true);
    sim.advertise(false, true);  // no name: remembered, not announced
    sim.advertise(true, false);  // name, but no protocol service
    ASSERT_TRUE(wait_runtime_events(10000));
    EXPECT_TRUE(log->take().empty());
    // Back in the runtime's device list, its name known from before: announced once.
    RuntimeDevice known;
    known.address = sim.address();
    known.name = "Sim Mouse";
    known.paired = false;
    known.connected = true;
    known.gatt = sim.gatt();
    runtime_set_device(known);
    sim.advertise(false, true);
    sim.advertise(true, true);
    ASSERT_TRUE(log->wait_events(1));
    ASSERT_TRUE(wait_runtime_events(10000));
    EXPECT_EQ(log->take(), (std::vector<std::string>{"+a0:b1:c2:d3:e4:f5"}));
    bus->onConfigChanged(ConfigItem(4), false);
}

TEST_F(WinRT, EnumerationEndsWhenTheRadioGoesOffOrTheWatchersAbort)
{
    set_runtime_watchers_abort(true);
    add_device({});
    make_bus();
    std::atomic<bool> done{false};
    std::thread waiter([&] {
        bus->enumerate();
        done = true;
    });
    set_radio_on(radio, false);
    waiter.join();
    EXPECT_TRUE(done);
    EXPECT_FALSE(bus->radio_on());
    EXPECT_TRUE(bus->enumerate().empty());
    // On again: the aborted watchers start once more.
    set_runtime_watchers_abort(false);
    const unsigned started = runtime_watchers_started();
    set_radio_on(radio, true);
    ASSERT_TRUE(wait_runtime_events(10000));
    EXPECT_GT(runtime_watchers_started(), started);
    EXPECT_EQ(bus->enumerate().size(), 1u);
}

TEST_F(WinRT, NoRadioOrNoAccessMeansNoWaitAndNoDevices)
{
    set_runtime_radio_access(2);
    add_device({});
    const unsigned started = runtime_watchers_started();
    make_bus();
    EXPECT_FALSE(bus->radio_on());
    EXPECT_TRUE(bus->enumerate().empty());
    EXPECT_EQ(runtime_watchers_started(), started);
}

TEST_F(WinRT, ConnectionChangesArePublishedOnceAndTheLinkForgetsTheCharacteristic)
{
    auto& sim = add_device({});
    make_bus();
    const auto found = bus->enumerate();
    ASSERT_EQ(found.size(), 1u);
    ASSERT_TRUE(log->Subscriber<IHardwareDevice::Connect>::subscribe(found[0], 1, ""));
    ASSERT_TRUE(wait_runtime_events(10000));
    log->take();
    sim.disconnect();
    ASSERT_TRUE(log->wait_events(1));
    ASSERT_TRUE(wait_runtime_events(10000));
    auto events = log->take();
    EXPECT_EQ(std::count(events.begin(), events.end(), "disconnect a0:b1:c2:d3:e4:f5"), 1);
    auto device = std::dynamic_pointer_cast<WinRTBluetoothDevice>(found[0]);
    sim.connect(radio);
    ASSERT_TRUE(log->wait_events(1));
    ASSERT_TRUE(wait_runtime_events(10000));
    // Nothing open yet: a write finds no characteristic until the device is opened again.
    EXPECT_FALSE(device->write(kPing, false));
    EXPECT_STREQ(last_error().text, "No Tessel characteristic");
    EXPECT_TRUE(device->open());
    EXPECT_TRUE(device->write(kPing, false));
}

TEST_F(WinRT, ADeviceThatCannotBeMadeLeavesNoEntryAndDevicesDoNotKeepTheirBus)
{
    // No LE device for the address: the event is dropped, and no empty entry is handed out.
    set_runtime_no_le_device(true);
    add_device({});
    make_bus();
    EXPECT_TRUE(bus->enumerate().empty());
    ASSERT_TRUE(wait_runtime_events(10000));
    set_runtime_no_le_device(false);
    EXPECT_TRUE(log->take().empty()) << "the dropped device was published";
    SimBluetoothConfig other;
    other.address = 0x555555555555;
    add_device(other);
    // A device added after the first enumeration arrives as a watcher event, not within enumerate.
    ASSERT_TRUE(log->wait_events(1));
    EXPECT_EQ(log->take(), (std::vector<std::string>{"+55:55:55:55:55:55"}));
    // The plug is published from within the watcher's handler, which holds the bus until it returns.
    ASSERT_TRUE(wait_runtime_events(10000));
    const auto found = bus->enumerate();
    ASSERT_EQ(found.size(), 1u);
    EXPECT_EQ(found[0]->getPath(), "55:55:55:55:55:55");

    // The bus goes although a device is still held: nothing keeps it alive.
    std::weak_ptr<WinRTBluetoothBus> weak = bus;
    log.reset();
    bus.reset();
    win32.reset();
    EXPECT_TRUE(weak.expired());
    EXPECT_FALSE(found[0]->getBus());
}

TEST(WinRTDevice, AddressesAndDeviceAddressesAgree)
{
    EXPECT_EQ(WinRTBluetoothDevice::parse_address("a0:b1:c2:d3:e4:f5"), 0xA0B1C2D3E4F5ull);
    const std::uint8_t bytes[6] = {0x00, 0x1a, 0x7d, 0xda, 0x71, 0x13};
    EXPECT_EQ(WinRTBluetoothBus::format_address(bytes), "00:1a:7d:da:71:13");
}

} // namespace
