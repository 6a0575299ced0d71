// The Microsoft Bluetooth bus and its devices over the simulated stack: radios, custom events,
// registry look-ups and connection state.
#include "BusTestSupport.h"

#include "bluetooth/BluetoothEvents.h"
#include "bluetooth/BluetoothMakers.h"
#include "bluetooth/BluetoothMicrosoftBus.h"
#include "bluetooth/BluetoothMicrosoftDevice.h"
#include "Windows/Win32Bus.h"

#include <sim/Bluetooth.h>
#include <sim/Kernel.h>

#include <gtest/gtest.h>

#include <future>

namespace {

using namespace devio;
using namespace platform::sim;
using namespace std::chrono_literals;

class Recorder : public Subscriber<IBluetoothBus::RadioArrivalRemovalExternal>,
                 public Subscriber<IBluetoothDevice::BtConnect>,
                 public Subscriber<IBluetoothDevice::BtFastConnect>,
                 public Subscriber<IBluetoothDevice::BtUnpair> {
public:
    void onRadioArrival(std::string r) override { add("radio+ " + r); }
    void onRadioRemoval(std::string r) override { add("radio- " + r); }
    void onBtConnect(std::string r) override { add("connect " + r); }
    void onBtPairingUpdate(std::string r) override { add("pairing " + r); }
    void onBtDisconnect() override { add("disconnect"); }
    void onBtFastConnect(std::string r) override { add("fast connect " + r); }
    void onBtFastDisconnect() override { add("fast disconnect"); }
    void onBtUnpair(std::string r) override { add("unpair " + r); }
    std::vector<std::string> take()
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        return std::exchange(m_log, {});
    }
    bool wait_for(std::size_t n)
    {
        std::unique_lock<std::mutex> lock(m_mutex);
        return m_cv.wait_for(lock, 10s, [&] { return m_log.size() >= n; });
    }

private:
    void add(std::string s)
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_log.push_back(std::move(s));
        m_cv.notify_all();
    }
    std::mutex m_mutex;
    std::condition_variable m_cv;
    std::vector<std::string> m_log;
};

class MicrosoftBus : public ::testing::Test {
protected:
    void SetUp() override
    {
        reset_machine();
        remove_all_dev_nodes();
        host = test::host_bluetooth_manager(manager, {0});
        errors.Subscriber<IDeviceManager::UnreportedError>::subscribe(manager, 1, "");
    }
    void TearDown() override
    {
        recorder.reset();
        bt.reset();
        win32.reset();
        host.reset();
        remove_all_dev_nodes();
    }
    std::shared_ptr<BluetoothMicrosoftBus> make_bus()
    {
        win32 = Win32Bus::create(manager);
        bt = std::dynamic_pointer_cast<BluetoothMicrosoftBus>(win32->getBluetoothBuses().at(0));
        recorder = std::make_unique<Recorder>();
        recorder->Subscriber<IBluetoothBus::RadioArrivalRemovalExternal>::subscribe(bt, 1, "");
        return bt;
    }
    void watch(const std::shared_ptr<BluetoothMicrosoftDevice>& device)
    {
        recorder->Subscriber<IBluetoothDevice::BtConnect>::subscribe(device, 1, "");
        recorder->Subscriber<IBluetoothDevice::BtFastConnect>::subscribe(device, 1, "");
        recorder->Subscriber<IBluetoothDevice::BtUnpair>::subscribe(device, 1, "");
    }

    struct Errors : Subscriber<IDeviceManager::UnreportedError> {
        void onUnreportedError(const char* context, ErrorCode code, const char*, unsigned long) override
        {
            std::lock_guard<std::mutex> lock(mutex);
            seen.push_back(std::string(context) + "|" + std::to_string(code));
        }
        std::mutex mutex;
        std::vector<std::string> seen;
    } errors;
    std::shared_ptr<DeviceManager> manager = std::make_shared<DeviceManager>(nullptr);
    std::unique_ptr<test::LoopHost> host;
    std::shared_ptr<Win32Bus> win32;
    std::shared_ptr<BluetoothMicrosoftBus> bt;
    std::unique_ptr<Recorder> recorder;
};

TEST_F(MicrosoftBus, OpensEveryRadioOnceAndFollowsArrivalsAndRemovals)
{
    const DevInst first = add_radio("a");
    const DevInst denied = add_radio("b");
    set_radio_access_denied(denied, true);
    make_bus();
    ASSERT_TRUE(bt->start());
    EXPECT_TRUE(bt->hasRadio(radio_path(first)));
    EXPECT_FALSE(bt->hasRadio(radio_path(denied)));
    EXPECT_TRUE(bt->hasRadio(kUnknownRadio));
    EXPECT_EQ(recorder->take(), (std::vector<std::string>{"radio+ " + radio_path(first)}));
    {
        std::lock_guard<std::mutex> lock(errors.mutex);
        EXPECT_EQ(errors.seen, (std::vector<std::string>{"BluetoothMicrosoftBus::onRadioArrival|42"}));
    }

    // A later radio arrives through the window and the run loop; it is opened once.
    const DevInst later = add_radio("c");
    ASSERT_TRUE(recorder->wait_for(1));
    EXPECT_EQ(recorder->take(), (std::vector<std::string>{"radio+ " + radio_path(later)}));
    EXPECT_TRUE(bt->hasRadio(radio_path(later)));

    // A connected device through the radio that leaves is disconnected first.
    set_stack_device({0xA1, "Kb", false, {later}, later});
    auto device = bt->getOrCreateDevice(0xA1, BluetoothClassic);
    watch(device);
    EXPECT_TRUE(device->isConnected());
    unplug(later);
    ASSERT_TRUE(recorder->wait_for(3));
    EXPECT_EQ(recorder->take(),
              (std::vector<std::string>{"fast disconnect", "disconnect", "radio- " + radio_path(later)}));
    EXPECT_FALSE(bt->hasRadio(radio_path(later)));
}

TEST_F(MicrosoftBus, CustomEventsConnectDisconnectAndUnpair)
{
    const DevInst radio = add_radio("a");
    make_bus();
    ASSERT_TRUE(bt->start());
    recorder->take();
    const std::string r = radio_path(radio);

    // L2CAP: only the HID interrupt channel counts; the first connect makes the device.
    send_l2cap_event(radio, 0xB1, 0x11, true);
    EXPECT_FALSE(bt->lookupDevice(0xB1));
    send_l2cap_event(radio, 0xB1, 0x13, true);
    auto classic = bt->lookupDevice(0xB1);
    ASSERT_TRUE(classic);
    EXPECT_EQ(classic->getTransport(), BluetoothClassic);
    EXPECT_EQ(classic->getAddressText(), "0000:00:0000B1");
    watch(classic);
    send_l2cap_event(radio, 0xB1, 0x13, false);
    send_l2cap_event(radio, 0xB1, 0x13, true);
    EXPECT_EQ(recorder->take(), (std::vector<std::string>{"fast disconnect", "disconnect", "fast connect " + r,
                                                          "connect " + r}));

    struct Case {
        const char* name;
        std::uint32_t previous, current;
        std::vector<std::string> expected;
    };
    const std::uint32_t connected = 0x20020, remembered = 0x20010;
    const Case cases[] = {
        {"comes into range connected", remembered, connected | remembered, {"fast connect " + r, "connect " + r}},
        {"link drops", connected | remembered, remembered, {"fast disconnect", "disconnect"}},
        {"pairing removed", remembered, 0, {"unpair " + r}},
        {"half the connected bits", 0x20, 0x20020, {"fast connect " + r, "connect " + r}},
        {"nothing changes", remembered, remembered, {}},
    };
    send_radio_in_range_event(radio, 0xC1, connected, 0);  // unknown device: made as LE
    auto le = bt->lookupDevice(0xC1);
    ASSERT_TRUE(le);
    EXPECT_EQ(le->getTransport(), BluetoothLowEnergy);
    watch(le);
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        send_radio_in_range_event(radio, 0xC1, c.current, c.previous);
        EXPECT_EQ(recorder->take(), c.expected);
    }
}

TEST_F(MicrosoftBus, FindsTheDeviceBehindAPathInTheRegistry)
{
    add_radio("a");
    struct Case {
        const char* name;
        const char* service;
        const char* instance;
        std::optional<std::string> prefix;
        std::optional<std::uint64_t> address;
        std::string path;
        std::uint64_t expected;  // 0: none
    };
    const Case cases[] = {
        {"address value", "{00001124-0000-1000-8000-00805f9b34fb}_vid&00027e51_pid&b001", "7&1&0&00000000a1a1",
         std::nullopt, 0xA1A1, "\\\\?\\hid#{00001124-0000-1000-8000-00805f9b34fb}_vid&00027e51_pid&b001#7&1&0&00000000a1a1#x",
         0xA1A1},
        {"address from the instance name", "{00001124-0000-1000-8000-00805f9b34fb}_vid&00027e51_pid&b002",
         "8&2&0&0000AABBCCDD", std::nullopt, std::nullopt,
         "\\\\?\\hid#{00001124-0000-1000-8000-00805f9b34fb}_vid&00027e51_pid&b002#8&2&0&0000aabbccdd#x", 0xAABBCCDD},
        {"by the parent prefix", "dev_vid&027e51_pid&b010", "9&3", std::string("A&B&C"), 0xC3C3,
         "\\\\?\\hid#dev_vid&027e51_pid&b010&col01#a&b&c&0&0000#x", 0xC3C3},
        {"name not hexadecimal", "{00001124-0000-1000-8000-00805f9b34fb}_vid&00027e51_pid&b003", "8&2&0&0000AABBCCZZ",
         std::nullopt, std::nullopt,
         "\\\\?\\hid#{00001124-0000-1000-8000-00805f9b34fb}_vid&00027e51_pid&b003#8&2&0&0000aabbcczz#x", 0},
        {"no such service", "other", "1", std::nullopt, 0x1, "\\\\?\\usb#vid_7e51#x", 0},
    };
    for (const Case& c : cases)
        add_bluetooth_registry_entry(c.prefix ? "BTHLEDevice" : "BTHENUM", c.service, c.instance, c.prefix, c.address);
    make_bus();
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        auto device = bt->findDevice(c.path);
        EXPECT_EQ(bool(device), c.expected != 0);
        if (device) {
            EXPECT_EQ(std::static_pointer_cast<BluetoothMicrosoftDevice>(device)->address(), c.expected);
            EXPECT_EQ(device->getTransport(), c.prefix ? BluetoothLowEnergy : BluetoothClassic);
        }
    }
    // A miss is remembered: a key added afterwards is not read.
    const std::string missed = "\\\\?\\hid#late#7&9&0&000000000042#x";
    EXPECT_FALSE(bt->findDevice(missed));
    add_bluetooth_registry_entry("BTHENUM", "late", "7&9&0&000000000042", std::nullopt, 0x42);
    EXPECT_FALSE(bt->findDevice(missed));
}

TEST_F(MicrosoftBus, ConnectionStateOverNoOneAndTwoRadios)
{
    struct Case {
        const char* name;
        int radios;
        bool pairedFirst, pairedSecond;
        int connectedThrough;  // 0 none, 1 first, 2 second
        bool result;
        ErrorCode code;
        bool connected;
        int radio;
    };
    const Case cases[] = {
        {"no radio", 0, false, false, 0, false, 73, false, 0},
        {"one radio, connected", 1, true, false, 1, true, 0, true, 1},
        {"one radio, connected but not remembered", 1, false, false, 1, true, 0, false, 0},
        {"two radios, the first connected", 2, true, true, 1, true, 0, true, 1},
        {"two radios, the second connected", 2, true, true, 2, true, 0, true, 2},
        {"two radios, none connected", 2, true, true, 0, true, 0, false, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        remove_all_dev_nodes();
        std::vector<DevInst> radios;
        for (int i = 0; i < c.radios; ++i)
            radios.push_back(add_radio(std::string(1, char('a' + i))));
        StackDevice d{0xD1, "Sim Keyboard", false, {}, 0};
        if (c.pairedFirst)
            d.pairedRadios.push_back(radios.at(0));
        if (c.pairedSecond)
            d.pairedRadios.push_back(radios.at(1));
        if (c.connectedThrough)
            d.connectedRadio = radios.at(c.connectedThrough - 1);
        set_stack_device(d);
        make_bus();
        ASSERT_TRUE(bt->start());
        bool connected = !c.connected;
        std::string radio = "x", name;
        EXPECT_EQ(bt->get_connect_state_via_bgdi(0xD1, BluetoothClassic, &connected, &radio, &name), c.result);
        EXPECT_EQ(last_error().code, c.code);
        if (c.result) {
            EXPECT_EQ(connected, c.connected);
            EXPECT_EQ(radio, c.radio ? radio_path(radios.at(c.radio - 1)) : "");
            EXPECT_EQ(name, "Sim Keyboard");
        }
        win32.reset();
        bt.reset();
    }
}

TEST_F(MicrosoftBus, DevicesStayOptimisticUntilTheStackAnswers)
{
    const DevInst radio = add_radio("a");
    make_bus();
    auto device = bt->getOrCreateDevice(0xE1, BluetoothClassic);
    // The stack refuses: connected through an unknown radio.
    set_device_info_failure(ERROR_NOT_FOUND);
    EXPECT_TRUE(device->isConnected());
    EXPECT_EQ(device->getRadioPath("", kNoInterfaceLookup), kUnknownRadio);
    std::string unknown = kUnknownRadio;
    const unsigned calls = device_info_calls();
    EXPECT_TRUE(device->verifyPairing(unknown));
    EXPECT_EQ(device_info_calls(), calls);
    // Once it answered "not connected", a refusal keeps that answer.
    set_device_info_failure(0);
    set_stack_device({0xE1, "", false, {radio}, 0});
    EXPECT_FALSE(device->isConnected());
    set_device_info_failure(ERROR_NOT_FOUND);
    EXPECT_FALSE(device->isConnected());
    // Pairing gone from the radio: the radio path is emptied.
    set_device_info_failure(0);
    set_stack_device({0xE1, "", false, {}, 0});
    std::string path = radio_path(radio);
    EXPECT_TRUE(device->verifyPairing(path));
    EXPECT_EQ(path, "");
    std::string stranger = "\\\\?\\no-such-radio";
    EXPECT_FALSE(device->verifyPairing(stranger));
    EXPECT_EQ(last_error().code, 73u);
}

TEST_F(MicrosoftBus, DisabledBusRefusesStartButAcceptsSubscribers)
{
    manager->setConfig(ConfigItem(0), false);
    add_radio("a");
    make_bus();
    EXPECT_FALSE(bt->start());
    EXPECT_EQ(last_error().code, 64u);
    auto device = bt->getOrCreateDevice(0xF1, BluetoothClassic);
    Recorder r;
    EXPECT_TRUE(r.Subscriber<IBluetoothDevice::BtConnect>::subscribe(device, 0, ""));
    EXPECT_EQ(bluetooth_address_text(1), "0000:00:000001");
    EXPECT_EQ(bluetooth_address_text(0xFFFF123456789ABCull), "1234:56:789ABC");
}

TEST_F(MicrosoftBus, StartComesBackThroughItsOwnRadioArrivalWithoutDeadlock)
{
    // A subscriber that asks a device about its pairing on each radio arrival, as the pairing
    // bus does: during the first start this leads back into start on the same thread.
    add_radio("a");
    make_bus();
    auto device = bt->getOrCreateDevice(0x77, BluetoothClassic);
    struct Asker : Subscriber<IBluetoothBus::RadioArrivalRemovalExternal> {
        std::shared_ptr<BluetoothMicrosoftDevice> device;
        std::atomic<int> answered{0};
        void onRadioArrival(std::string radio) override
        {
            device->verifyPairing(radio);
            ++answered;
        }
    } asker;
    asker.device = device;
    ASSERT_TRUE(asker.Subscriber<IBluetoothBus::RadioArrivalRemovalExternal>::subscribe(bt, 1, ""));
    auto started = std::async(std::launch::async, [&] { return bt->start(); });
    ASSERT_EQ(started.wait_for(10s), std::future_status::ready) << "start deadlocked";
    EXPECT_TRUE(started.get());
    EXPECT_EQ(asker.answered.load(), 1);
}

TEST(BluetoothEvents, ReadOnlyWhatTheirSizeHolds)
{
    std::uint8_t data[276] = {};
    data[0] = 0x42;
    data[8] = 0x13;
    data[10] = 1;
    EXPECT_FALSE(parse_l2cap_event(data, 10));
    auto l2cap = parse_l2cap_event(data, 11);
    ASSERT_TRUE(l2cap);
    EXPECT_EQ(l2cap->address, 0x42u);
    EXPECT_EQ(l2cap->psm, 0x13u);
    EXPECT_TRUE(l2cap->connected);
    EXPECT_FALSE(parse_radio_in_range_event(data, 275));
    EXPECT_TRUE(parse_radio_in_range_event(data, 276));
    EXPECT_FALSE(address_from_registry_value(data, 7));
    EXPECT_FALSE(address_from_instance_name("0123456789AB"));  // not longer than 12
    EXPECT_EQ(address_from_instance_name("x0123456789aB"), std::optional<std::uint64_t>(0x0123456789ABull));
}

} // namespace
