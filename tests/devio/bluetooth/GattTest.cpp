// The GATT bus and device over simulated Bluetooth LE devices and the stand-in's Win32 GATT.
#include "BusTestSupport.h"

#include "bluetooth/BluetoothMakers.h"
#include "bluetooth/GattBus.h"
#include "bluetooth/GattDevice.h"
#include "bluetooth/GattMapping.h"
#include "devices/SimBluetoothDevice.h"
#include "Windows/Win32Bus.h"

#include <sim/Kernel.h>
#include <sim/Scenario.h>

#include <gtest/gtest.h>

namespace {

using namespace devio;
using namespace platform::sim;
using namespace std::chrono_literals;
using Bytes = std::vector<Byte>;

class Reads : public Subscriber<IHardwareDevice::Read>, public Subscriber<IHardwareDevice::Write> {
public:
    void onRead(Bytes data, bool, unsigned, unsigned length) override
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        reads.emplace_back(std::move(data), length);
        m_cv.notify_all();
    }
    void onWrite(Bytes data, ErrorCode code, unsigned) override
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        writes.emplace_back(std::move(data), code);
    }
    bool wait_for(std::size_t n)
    {
        std::unique_lock<std::mutex> lock(m_mutex);
        return m_cv.wait_for(lock, 10s, [&] { return reads.size() >= n; });
    }
    std::mutex m_mutex;
    std::condition_variable m_cv;
    std::vector<std::pair<Bytes, unsigned>> reads;
    std::vector<std::pair<Bytes, ErrorCode>> writes;
};

class Gatt : public ::testing::Test {
protected:
    void SetUp() override
    {
        reset_machine();
        // No runtime in this process: the HID bus makes the GATT bus.
        set_module_absent("combase.dll", true);
        remove_all_dev_nodes();
        host = test::host_bluetooth_manager(manager, {1, 3});
        radio = add_radio("a");
    }
    void TearDown() override
    {
        gatt.reset();
        win32.reset();
        devices.clear();
        host.reset();
        remove_all_dev_nodes();
    }
    std::shared_ptr<GattBus> make_bus()
    {
        win32 = Win32Bus::create(manager);
        auto secondary = win32->getSecondaryBuses();
        EXPECT_EQ(secondary.size(), 1u);
        gatt = secondary.empty() ? nullptr : std::dynamic_pointer_cast<GattBus>(secondary[0]);
        return gatt;
    }
    SimBluetoothDevice& add_device(SimBluetoothConfig config, std::uint16_t pid = 0xB010)
    {
        SimProtocolConfig protocol = sim_mouse_config();
        protocol.product_id = pid;
        devices.push_back(std::make_unique<SimBluetoothDevice>(protocol, config));
        devices.back()->connect(radio);
        return *devices.back();
    }
    std::shared_ptr<GattDevice> only_device()
    {
        auto found = gatt->enumerate();
        EXPECT_EQ(found.size(), 1u);
        return found.empty() ? nullptr : std::dynamic_pointer_cast<GattDevice>(found[0]);
    }

    std::shared_ptr<DeviceManager> manager = std::make_shared<DeviceManager>(nullptr);
    std::unique_ptr<test::LoopHost> host;
    DevInst radio = 0;
    std::vector<std::unique_ptr<SimBluetoothDevice>> devices;
    std::shared_ptr<Win32Bus> win32;
    std::shared_ptr<GattBus> gatt;
};

// Root feature request: get protocol version (function 1) with a ping byte.
const Bytes kPing = {0x10, 0xFF, 0x00, 0x1A, 0x00, 0x00, 0x5A};

TEST_F(Gatt, DiscoversTheProtocolCharacteristicAndMapsReportsBothWays)
{
    struct Case {
        const char* name;
        SimBluetoothConfig::Form form;
        Bytes sent;       // the characteristic value of the ping
        bool withResponse;
    };
    const Case cases[] = {
        {"characteristic form", SimBluetoothConfig::Form::Characteristic, {0x00, 0x1A, 0x00, 0x00, 0x5A}, true},
        {"direct-index form", SimBluetoothConfig::Form::DirectIndex,
         {0xFF, 0x00, 0x1A, 0x00, 0x00, 0x5A, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0}, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        SimBluetoothConfig config;
        config.form = c.form;
        auto& sim = add_device(config);
        make_bus();
        auto device = only_device();
        ASSERT_TRUE(device);
        EXPECT_EQ(device->getPath(), sim.gatt_path());
        EXPECT_EQ(device->getProductId(), 0xB010);
        EXPECT_EQ(device->getTransportType(), TransportGatt);
        Reads reads;
        ASSERT_TRUE(device->open());
        ASSERT_TRUE(reads.Subscriber<IHardwareDevice::Read>::subscribe(device, 1, ""));
        ASSERT_TRUE(reads.Subscriber<IHardwareDevice::Write>::subscribe(device, 1, ""));
        ASSERT_TRUE(device->write(kPing, true));
        ASSERT_FALSE(sim.gatt()->written().empty());
        EXPECT_EQ(sim.gatt()->written().back(), c.sent);
        ASSERT_TRUE(reads.wait_for(1));
        const auto& reply = reads.reads[0].first;
        ASSERT_EQ(reply.size(), 20u);
        EXPECT_EQ(reply[1], 0xFF);
        EXPECT_EQ(reply[2], 0x00);
        EXPECT_EQ(reply[3], 0x1A);  // function and software id echoed
        ASSERT_EQ(reads.writes.size(), 1u);
        EXPECT_EQ(reads.writes[0].second, 0u);
        EXPECT_EQ(reads.writes[0].first.size(), c.form == SimBluetoothConfig::Form::DirectIndex ? 20u : kPing.size());
        device->close();
        gatt.reset();
        win32.reset();
        devices.clear();
        remove_all_dev_nodes();
        radio = add_radio("a");
    }
}

TEST_F(Gatt, RefusesWhatItCannotSend)
{
    add_device({});
    make_bus();
    auto device = only_device();
    ASSERT_TRUE(device);
    ASSERT_TRUE(device->open());
    struct Case {
        const char* name;
        Bytes report;
        bool awaitReply;
        ErrorCode code;
    };
    const Case cases[] = {
        {"one byte", {0x10}, false, 71},
        {"longer than 20", Bytes(21, 0x11), false, 25},
        {"a reply without events", kPing, true, 27},
    };
    Reads reads;
    ASSERT_TRUE(reads.Subscriber<IHardwareDevice::Write>::subscribe(device, 1, ""));
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_FALSE(device->write(c.report, c.awaitReply));
        EXPECT_EQ(last_error().code, c.code);
        ASSERT_FALSE(reads.writes.empty());
        EXPECT_EQ(reads.writes.back().second, c.code);
        EXPECT_TRUE(reads.writes.back().first.empty());
    }
    // Out of range: the write fails with the platform's error and the event says so.
    devices[0]->gatt()->set_write_failure(HRESULT_FROM_WIN32(ERROR_DEVICE_NOT_CONNECTED));
    EXPECT_FALSE(device->write(kPing, false));
    EXPECT_EQ(last_error().code, 40u);
    EXPECT_EQ(last_error().detail, static_cast<std::uint32_t>(HRESULT_FROM_WIN32(ERROR_DEVICE_NOT_CONNECTED)));
}

TEST_F(Gatt, SuppressedNotificationsStoreTheDescriptorsOffAndFail)
{
    manager->setConfig(ConfigItem(7), true);
    auto& sim = add_device({});
    make_bus();
    auto device = only_device();
    ASSERT_TRUE(device);
    EXPECT_FALSE(device->write(kPing, false));
    EXPECT_EQ(last_error().code, 55u);
    EXPECT_FALSE(sim.gatt()->notifying(SimBluetoothDevice::kProtocolHandle));
    EXPECT_TRUE(sim.gatt()->written().empty());
}

TEST_F(Gatt, ReopenedDevicesRegisterTheirEventsAgain)
{
    add_device({});
    make_bus();
    auto device = only_device();
    ASSERT_TRUE(device);
    Reads reads;
    ASSERT_TRUE(reads.Subscriber<IHardwareDevice::Read>::subscribe(device, 1, ""));
    for (int round = 1; round <= 3; ++round) {
        SCOPED_TRACE(round);
        ASSERT_TRUE(device->open());
        ASSERT_TRUE(device->write(kPing, true));
        ASSERT_TRUE(reads.wait_for(round));
        device->close();
    }
}

TEST_F(Gatt, DevicesWithoutTheProtocolAreNotListedButTheirArrivalIsAnnounced)
{
    make_bus();
    EXPECT_TRUE(gatt->enumerate().empty());
    EXPECT_EQ(last_error().code, 0u);

    class Plugs : public Subscriber<IHardwareBus::PlugUnplug> {
    public:
        void onPlug(std::shared_ptr<IHardwareDevice> d) override
        {
            std::lock_guard<std::mutex> lock(mutex);
            log.push_back("+" + d->getPath());
            cv.notify_all();
        }
        void onUnplug(std::shared_ptr<IHardwareDevice> d) override
        {
            std::lock_guard<std::mutex> lock(mutex);
            log.push_back("-" + d->getPath());
            cv.notify_all();
        }
        std::mutex mutex;
        std::condition_variable cv;
        std::vector<std::string> log;
    } plugs;
    ASSERT_TRUE(plugs.Subscriber<IHardwareBus::PlugUnplug>::subscribe(gatt, 1, ""));
    SimBluetoothConfig config;
    config.pnpIdSize = 7;
    auto& sim = add_device(config);
    sim.gatt()->set_reachable(false);  // discovery fails: not listed
    EXPECT_TRUE(gatt->enumerate().empty());
    {
        std::unique_lock<std::mutex> lock(plugs.mutex);
        ASSERT_TRUE(plugs.cv.wait_for(lock, 10s, [&] { return !plugs.log.empty(); }));
        EXPECT_EQ(plugs.log[0], "+" + sim.gatt_path());
    }
    sim.disconnect();
    std::unique_lock<std::mutex> lock(plugs.mutex);
    ASSERT_TRUE(plugs.cv.wait_for(lock, 10s, [&] { return plugs.log.size() >= 2; }));
    EXPECT_EQ(plugs.log.back(), "-" + plugs.log[0].substr(1));
}

TEST_F(Gatt, EnumerationWithoutItsHidBusFailsCleanly)
{
    auto orphan = std::make_shared<GattBus>(nullptr);
    EXPECT_TRUE(orphan->enumerate().empty());
    EXPECT_EQ(last_error().code, 72u);
    class Nobody : public Subscriber<IHardwareBus::PlugUnplug> {} nobody;
    EXPECT_FALSE(nobody.Subscriber<IHardwareBus::PlugUnplug>::subscribe(orphan, 1, ""));
}

TEST_F(Gatt, ScenarioKindsBuildRadiosAndBluetoothDevices)
{
    auto scenario = Scenario::from_text(
        "<scenario>"
        "<device kind='bt-radio' name='r1'/>"
        "<device kind='ble-mouse' name='m' radio='r1' address='0x0000AABBCCDD' product='0xB010' serial='S1'"
        " switch='0x00C2' battery='60'><firmware type='0' name='MPM' number='0x1501' build='7'/></device>"
        "<device kind='bt-keyboard' name='k' radio='r1' address='0x000011223344'/>"
        "</scenario>");
    {
        auto& mouse = *std::static_pointer_cast<SimBluetoothDevice>(scenario.device("m")->model);
        const auto firmware = mouse.model().firmware();
        ASSERT_EQ(firmware.size(), 1u);
        EXPECT_EQ(firmware[0].name, "MPM");
        EXPECT_EQ(firmware[0].number, 0x1501);
    }
    scenario.plug();
    make_bus();
    auto found = gatt->enumerate();
    ASSERT_EQ(found.size(), 1u);
    EXPECT_NE(found[0]->getPath().find("0000aabbccdd"), std::string::npos);
    EXPECT_EQ(found[0]->getProductId(), 0xB010);
    const auto classic = stack_device(0x000011223344);
    ASSERT_TRUE(classic);
    EXPECT_FALSE(classic->lowEnergy);
    EXPECT_NE(classic->connectedRadio, 0u);
    found.clear();
    gatt.reset();
    win32.reset();

    struct Case {
        const char* name;
        const char* xml;
    };
    const Case bad[] = {
        {"radio named before it is built",
         "<scenario><device kind='ble-mouse' name='m' radio='nowhere'/></scenario>"},
        {"unknown form", "<scenario><device kind='ble-mouse' name='m' form='sideways'/></scenario>"},
        {"radio without a name", "<scenario><device kind='bt-radio'/></scenario>"},
        {"a switch that is none", "<scenario><device kind='ble-keyboard' name='k' switch='0x1234'/></scenario>"},
        {"a firmware name of four", "<scenario><device kind='ble-keyboard' name='k'>"
                                    "<firmware type='0' name='MPKX' number='1'/></device></scenario>"},
    };
    for (const Case& c : bad) {
        SCOPED_TRACE(c.name);
        EXPECT_THROW(Scenario::from_text(c.xml), std::exception);
    }
}

TEST(GattMapping, ValuesBecomeReportsAndReportsValues)
{
    struct In {
        const char* name;
        std::size_t size;
        bool direct;
        Byte id;
        unsigned length;
    };
    const In in[] = {
        {"7 bytes", 7, false, 0x10, 9},
        {"16 bytes", 16, false, 0x11, 18},
        {"19 bytes are cut", 19, false, 0x11, 21},
        {"direct index, 19 bytes", 19, true, 0x11, 20},
        {"nothing", 0, false, 0x10, 2},
    };
    for (const In& c : in) {
        SCOPED_TRACE(c.name);
        Bytes value(c.size, 0xAB);
        unsigned length = 0;
        const Bytes report = gatt_value_to_report(value.data(), value.size(), c.direct, length);
        EXPECT_EQ(report.size(), 20u);
        EXPECT_EQ(report[0], c.id);
        EXPECT_EQ(length, c.length);
    }
    struct Out {
        const char* name;
        Bytes report;
        bool direct;
        Bytes value;
    };
    const Out out[] = {
        {"trailing zeros go", {0x10, 0xFF, 0x01, 0x02, 0x00, 0x00, 0x00}, false, {0x01, 0x02}},
        {"one byte stays", {0x11, 0xFF, 0x00, 0x00}, false, {0x00}},
        {"direct index keeps zeros", {0x10, 0xFF, 1, 2, 3, 4, 5}, true,
         {0xFF, 1, 2, 3, 4, 5, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0}},
    };
    for (const Out& c : out) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(gatt_report_to_value(c.report, c.direct), c.value);
    }
    struct Winrt {
        const char* name;
        std::size_t size;
        Byte id;
        unsigned length;
    };
    const Winrt winrt[] = {{"5 bytes", 5, 0x10, 7}, {"7 bytes", 7, 0x10, 9}, {"8 bytes", 8, 0x11, 10},
                           {"18 bytes", 18, 0x11, 20}, {"19 bytes", 19, 0x11, 21}};
    for (const Winrt& c : winrt) {
        SCOPED_TRACE(c.name);
        Bytes value(c.size, 1);
        unsigned length = 0;
        const Bytes report = winrt_value_to_report(value.data(), value.size(), length);
        EXPECT_EQ(report.size(), 20u);
        EXPECT_EQ(report[0], c.id);
        EXPECT_EQ(length, c.length);
    }
    Bytes longReport(20);
    for (std::size_t i = 0; i < 20; ++i)
        longReport[i] = static_cast<Byte>(i);
    EXPECT_EQ(winrt_report_to_payload(longReport), Bytes(longReport.begin() + 2, longReport.end()));
    EXPECT_EQ(winrt_report_to_payload({0x10, 0xFF, 1, 2, 3, 4, 5}),
              (Bytes{1, 2, 3, 4, 5, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0}));
}

TEST(GattMapping, ProductIdsFromPathsAndPnpIds)
{
    struct Case {
        const char* path;
        std::uint16_t expected;
    };
    const Case cases[] = {
        {"\\\\?\\bthledevice#{00010000-0000-1000-8000-011f20007e51}_dev_vid&027e51_pid&b010_rev&0001_a0b1c2d3e4f5#8&1",
         0xB010},
        {"\\\\?\\bthledevice#{00010000-0000-1000-8000-011f20007e51}_dev_vid&027e51_pid&zzzz_rev&0001_a0b1c2d3e4f5#8&1",
         0},
        {"\\\\?\\bthledevice#{00010000-0000-1000-8000-011f20007e51}_dev_vid&027e51_pid&", 0},
        {"no marker at all", 0},
        {"}_dev_vid&027e51_pid&12_x_abcdefghijk", 0x12},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.path);
        EXPECT_EQ(gatt_path_product_id(c.path), c.expected);
    }
    const Byte pnp[] = {0x02, 0x51, 0x7E, 0x10, 0xB0, 0x01, 0x00};
    EXPECT_EQ(pnp_id_product_id(pnp, 7), std::optional<std::uint16_t>(0xB010));
    EXPECT_EQ(pnp_id_product_id(pnp, 5), std::optional<std::uint16_t>(0xB010));
    EXPECT_FALSE(pnp_id_product_id(pnp, 4));
}

} // namespace
