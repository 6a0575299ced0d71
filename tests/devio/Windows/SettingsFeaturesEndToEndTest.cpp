// The device-information and settings features through the application's facade: a scenario
// keyboard on USB and a scenario mouse behind a simulated receiver list them; each is found and
// cast, a read and a write of each family go round the real stack, a notification of each
// family reaches a queued subscriber, and a mouse whose link is lost keeps its key-reporting
// write and gets it once linked again.
#include "ManagerTestSupport.h"
#include "support/Within.h"

#include "core/CDevio.h"
#include "core/Subscriber.h"
#include "core/Timing.h"
#include "device/IDevice.h"
#include "devices/SimHidReceiver.h"
#include "devices/SimProtocolDevice.h"
#include "features/IFeature1001BatteryVoltage.h"
#include "features/IFeature1010ChargingControl.h"
#include "features/IFeature1300LEDControl.h"
#include "features/IFeature1800GenericTest.h"
#include "features/IFeature1802DeviceReset.h"
#include "features/IFeature1805OOBState.h"
#include "features/IFeature1806ConfigurableDeviceProperties.h"
#include "features/IFeature1814ChangeHost.h"
#include "features/IFeature1815HostsInfos.h"
#include "features/IFeature1890RfTest.h"
#include "features/IFeature18A1LEDState.h"
#include "features/IFeature1981KeyboardBacklight.h"
#include "features/IFeature1A00PresenterControl.h"
#include "features/IFeature1A013DSensor.h"
#include "features/IFeature1B03SpecialKeys.h"
#include "features/IFeature1B04SpecialKeys.h"
#include "features/IFeature1BC0ReportHIDUsages.h"
#include "features/IFeature1C00PersistentRemappableAction.h"
#include "features/IFeature1E00EnableHiddenFeatures.h"
#include "features/IFeature1F1FFirmwareProperties.h"
#include "features/IFeature1F20ADCMeasurement.h"
#include "quillon/ProductIds.h"

#include <sim/DeviceTree.h>
#include <sim/Kernel.h>
#include <sim/Scenario.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <condition_variable>
#include <mutex>
#include <set>

namespace devio::test {
namespace {

using quillon::test::within;
using Bytes = std::vector<Byte>;

const char* const kScenario = R"(<scenario>
  <device kind="keyboard" name="kb" vendor="0x7E51" product="0x4001">
    <feature id="0x1001"/><feature id="0x1010"/><feature id="0x1300"/><feature id="0x18A1"/>
    <feature id="0x1800"/><feature id="0x1802"/><feature id="0x1890"/><feature id="0x1806"/>
    <feature id="0x1814"/><feature id="0x1815"/><feature id="0x1981"/><feature id="0x1B03"/>
    <feature id="0x1BC0"/><feature id="0x1C00"/><feature id="0x1E00"/><feature id="0x1F1F"/>
    <feature id="0x1F20" version="4"><answer function="1" bytes="2A"/></feature>
  </device>
  <device kind="receiver" name="rx" vendor="0x7E51" product="0xC510">
    <paired slot="1" kind="mouse" product="0x4010" name="Paired Mouse">
      <feature id="0x1B04"/><feature id="0x1A00"/><feature id="0x1805"/><feature id="0x1A01"/>
    </paired>
  </device>
</scenario>)";

// Handlers reached through the run loop, as text.
struct Heard : Subscriber<IFeature1001BatteryVoltage::Report>,
               Subscriber<IFeature1800GenericTest::GenericResponse>,
               Subscriber<IFeature1981KeyboardBacklight::Report>,
               Subscriber<IFeature1B03SpecialKeys::KeyReport>,
               Subscriber<IFeature1B04SpecialKeys::RawXYReport>,
               Subscriber<IFeature1BC0ReportHIDUsages::Report>,
               Subscriber<IFeature1F1FFirmwareProperty::Notification>,
               Subscriber<IFeature1F20ADCMeasurement::Report>,
               Subscriber<IFeature1A013DSensor::RawXYZReport> {
    std::mutex mutex;
    std::condition_variable condition;
    std::set<std::string> names;

    ~Heard() override
    {
        Subscriber<IFeature1001BatteryVoltage::Report>::stop_deliveries();
        Subscriber<IFeature1800GenericTest::GenericResponse>::stop_deliveries();
        Subscriber<IFeature1981KeyboardBacklight::Report>::stop_deliveries();
        Subscriber<IFeature1B03SpecialKeys::KeyReport>::stop_deliveries();
        Subscriber<IFeature1B04SpecialKeys::RawXYReport>::stop_deliveries();
        Subscriber<IFeature1BC0ReportHIDUsages::Report>::stop_deliveries();
        Subscriber<IFeature1F1FFirmwareProperty::Notification>::stop_deliveries();
        Subscriber<IFeature1F20ADCMeasurement::Report>::stop_deliveries();
        Subscriber<IFeature1A013DSensor::RawXYZReport>::stop_deliveries();
    }
    void add(const std::string& name)
    {
        std::lock_guard<std::mutex> lock(mutex);
        names.insert(name);
        condition.notify_all();
    }
    bool wait_for(const std::string& name)
    {
        std::unique_lock<std::mutex> lock(mutex);
        return condition.wait_for(lock, std::chrono::seconds(20), [&] { return names.count(name) != 0; });
    }
    void OnBatteryInfoChange(const IFeature1001BatteryVoltage::BatteryInfo& i) override
    {
        add("battery " + std::to_string(i.voltage));
    }
    void onTestResponse(int e, const std::vector<Byte>&) override { add("test " + std::to_string(e)); }
    void onBacklightChangeEvent(short a, short, short) override { add("backlight " + std::to_string(a)); }
    void onKeyChange(std::vector<std::uint32_t> keys) override { add("keys " + std::to_string(keys[0])); }
    void onRawXY(int x, int y) override { add("xy " + std::to_string(x) + " " + std::to_string(y)); }
    void OnUsageEvent(const IFeature1BC0ReportHIDUsages::UsagePackage& p) override
    {
        add("usages " + std::to_string(p.usages.size()));
    }
    void onPropertyChanged() override { add("property"); }
    void onStatusChange(const IFeature1F20ADCMeasurement::DeviceState& s) override
    {
        add("adc " + std::to_string(s.value));
    }
    void onRawXYZReport(short x, short, short) override { add("xyz " + std::to_string(x)); }
};

// Waits (on the model's write log) until a written report satisfies `match`.
template <class Match>
bool written_eventually(platform::sim::SimProtocolDevice& model, Match match)
{
    const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(20);
    for (;;) {
        const auto log = model.written();
        for (const auto& w : log)
            if (match(w))
                return true;
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(end - std::chrono::steady_clock::now());
        if (left.count() <= 0 || !model.wait_for_writes(log.size() + 1, left))
            return false;
    }
}

// The device's connection changes, as the run loop delivers them.
struct Connection : Subscriber<IDevice::Connect> {
    std::mutex mutex;
    std::condition_variable condition;
    int disconnects = 0;
    ~Connection() override { stop_deliveries(); }
    void onDisconnect(std::shared_ptr<IDevice>) override
    {
        std::lock_guard<std::mutex> lock(mutex);
        ++disconnects;
        condition.notify_all();
    }
    bool wait_for_disconnect()
    {
        std::unique_lock<std::mutex> lock(mutex);
        return condition.wait_for(lock, std::chrono::seconds(20), [&] { return disconnects > 0; });
    }
};

template <class I>
std::shared_ptr<I> feature(const std::shared_ptr<IDevice>& device, std::uint32_t id)
{
    return std::dynamic_pointer_cast<I>(device->getFeatureSync(id));
}

class SettingsEndToEnd : public ::testing::Test {
protected:
    void SetUp() override
    {
        platform::sim::reset_machine();
        Timing::setScale(1, 20);
        scenario = std::make_unique<platform::sim::Scenario>(platform::sim::Scenario::from_text(kScenario));
        ASSERT_TRUE(host_facade({ConfigReceivers, ConfigUsbHid}, manager, host, changes));
        scenario->plug();
        keyboard = changes.wait_for(Changes::key("+", TransportUsbHid, quillon::ids::kKeyboardA.productId));
        mouse = changes.wait_for(Changes::key("+", TransportReceiver, quillon::ids::kMouseA.productId));
        ASSERT_TRUE(keyboard);
        ASSERT_TRUE(mouse);
        kbModel = platform::sim::scenario_protocol_model(*scenario->device("kb"));
        receiver = std::static_pointer_cast<platform::sim::SimHidReceiver>(scenario->device("rx")->model);
        ASSERT_TRUE(kbModel);
    }
    void TearDown() override
    {
        changes.unsubscribe(std::static_pointer_cast<Producer<IDeviceManager::ArrivalRemoval>>(manager));
        changes.clear();
        keyboard.reset();
        mouse.reset();
        if (host)
            host->stop();
        manager.reset();
        facade.close();
        scenario.reset();
        platform::sim::remove_all_dev_nodes();
        Timing::reset();
    }

    CDevio& facade = CDevio::instance();
    std::unique_ptr<platform::sim::Scenario> scenario;
    std::shared_ptr<DeviceManager> manager;
    std::unique_ptr<LoopHost> host;
    Changes changes;
    std::shared_ptr<IDevice> keyboard;
    std::shared_ptr<IDevice> mouse;
    platform::sim::SimProtocolDevice* kbModel = nullptr;
    std::shared_ptr<platform::sim::SimHidReceiver> receiver;
};

TEST_F(SettingsEndToEnd, ReadsWritesAndNotificationsOfEachFamily)
{
    Heard heard;
    within([&] {
        // Battery and charging.
        auto battery = feature<IFeature1001BatteryVoltage>(keyboard, 0x1001);
        auto charging = feature<IFeature1010ChargingControl>(keyboard, 0x1010);
        ASSERT_TRUE(battery && charging);
        IFeature1001BatteryVoltage::BatteryInfo info;
        ASSERT_TRUE(battery->GetBatteryInfo(info));
        EXPECT_EQ(info.voltage, 4000);
        std::uint8_t level = 0;
        ASSERT_TRUE(charging->SetChargingControl(3));
        ASSERT_TRUE(charging->GetChargingControl(level));
        EXPECT_EQ(level, 3);
        ASSERT_TRUE(heard.Subscriber<IFeature1001BatteryVoltage::Report>::subscribe(battery, 0, ""));

        // LEDs.
        auto leds = feature<IFeature1300LEDControl>(keyboard, 0x1300);
        auto ledState = feature<IFeature18A1LEDState>(keyboard, 0x18A1);
        ASSERT_TRUE(leds && ledState);
        std::uint32_t count = 0;
        ASSERT_TRUE(leds->GetLedCount(count));
        EXPECT_EQ(count, 2u);
        IFeature18A1LEDState::LedStateFlags flags;
        flags.flag29 = true;
        ASSERT_TRUE(ledState->SetLedStateFlags(flags));
        IFeature18A1LEDState::LedStateFlags back;
        ASSERT_TRUE(ledState->GetLedStateFlags(back));
        EXPECT_TRUE(back.flag29 && !back.flag0);

        // Test, reset and RF test.
        auto test = feature<IFeature1800GenericTest>(keyboard, 0x1800);
        auto rf = feature<IFeature1890RfTest>(keyboard, 0x1890);
        ASSERT_TRUE(test && rf && feature<IFeature1802DeviceReset>(keyboard, 0x1802));
        Bytes response;
        ASSERT_TRUE(test->SendTest(5, {0x0A}, &response));
        EXPECT_EQ(Bytes(response.begin(), response.begin() + 2), (Bytes{5, 0x0A}));
        EXPECT_TRUE(rf->RfTestFunction1(10, 1, 0x0203));
        ASSERT_TRUE(heard.Subscriber<IFeature1800GenericTest::GenericResponse>::subscribe(test, 0, ""));

        // Configurable properties.
        auto props = feature<IFeature1806ConfigurableDeviceProperties>(keyboard, 0x1806);
        ASSERT_TRUE(props);
        ASSERT_TRUE(props->WriteProperty(9, 1, 3, {1, 2, 3}));
        std::uint32_t id = 0, value = 0;
        bool flag = false;
        std::array<Byte, 14> data{};
        ASSERT_TRUE(props->ReadProperty(id, flag, value, data));
        EXPECT_EQ(id, 9u);
        EXPECT_TRUE(flag);
        EXPECT_EQ(value, 3u);
        EXPECT_EQ(data[2], 3);

        // Hosts.
        auto change = feature<IFeature1814ChangeHost>(keyboard, 0x1814);
        auto hosts = feature<IFeature1815HostsInfos>(keyboard, 0x1815);
        ASSERT_TRUE(change && hosts);
        std::uint16_t a = 0;
        ASSERT_TRUE(change->GetHostStatus(&a, nullptr, nullptr));
        EXPECT_EQ(a, 3);
        std::string name;
        ASSERT_TRUE(hosts->GetHostName(1, &name, true));
        EXPECT_EQ(name, "Second simulated PC");
        EXPECT_TRUE(hosts->SetHostNameChunk(1, 0, {'P', 'C'}));

        // Backlight.
        auto backlight = feature<IFeature1981KeyboardBacklight>(keyboard, 0x1981);
        ASSERT_TRUE(backlight);
        std::uint16_t brightness = 0;
        ASSERT_TRUE(backlight->SetBacklightValue(7));
        ASSERT_TRUE(backlight->GetBacklightValue(&brightness));
        EXPECT_EQ(brightness, 7);
        ASSERT_TRUE(heard.Subscriber<IFeature1981KeyboardBacklight::Report>::subscribe(backlight, 0, ""));

        // Special keys.
        auto keys = feature<IFeature1B03SpecialKeys>(keyboard, 0x1B03);
        ASSERT_TRUE(keys);
        std::uint8_t reporting = 0;
        ASSERT_TRUE(keys->SetKeyReporting(0x0010, 1));
        ASSERT_TRUE(keys->GetKeyReporting(0x0010, &reporting));
        EXPECT_EQ(reporting, 1);
        ASSERT_TRUE(heard.Subscriber<IFeature1B03SpecialKeys::KeyReport>::subscribe(keys, 0, ""));

        // Usages and remappable actions.
        auto usages = feature<IFeature1BC0ReportHIDUsages>(keyboard, 0x1BC0);
        auto actions = feature<IFeature1C00PersistentRemappableAction>(keyboard, 0x1C00);
        ASSERT_TRUE(usages && actions);
        EXPECT_TRUE(usages->SetUsages(1, {7, {4, 5, 6}}));
        IFeature1C00PersistentRemappableAction::ActionPair pair;
        ASSERT_TRUE(actions->GetActions(0x0010, 0, pair));
        EXPECT_EQ(pair.second.id, 0x11u);
        ASSERT_TRUE(heard.Subscriber<IFeature1BC0ReportHIDUsages::Report>::subscribe(usages, 0, ""));

        // Hidden features and firmware properties.
        auto hidden = feature<IFeature1E00EnableHiddenFeatures>(keyboard, 0x1E00);
        auto firmware = feature<IFeature1F1FFirmwareProperties>(keyboard, 0x1F1F);
        ASSERT_TRUE(hidden && firmware);
        bool enabled = false;
        ASSERT_TRUE(hidden->SetEnabled(1));
        ASSERT_TRUE(hidden->GetEnabled(enabled));
        EXPECT_TRUE(enabled);
        ASSERT_TRUE(firmware->LoadProperties());
        ASSERT_EQ(firmware->GetPropertyCount(), 2u);
        auto speed = firmware->GetProperty(0);
        EXPECT_EQ(speed->GetName().substr(0, 5), "speed");
        EXPECT_EQ(speed->GetIntValue(), 7);
        EXPECT_EQ(speed->GetIntMax(), 10);
        EXPECT_TRUE(speed->SetIntValue(9));
        ASSERT_TRUE(heard.Subscriber<IFeature1F1FFirmwareProperty::Notification>::subscribe(speed, 0, ""));

        // ADC measurement: its own version through Root, and the scenario's answer.
        auto adc = feature<IFeature1F20ADCMeasurement>(keyboard, 0x1F20);
        ASSERT_TRUE(adc);
        EXPECT_EQ(adc->feature_version(), 4u);
        std::uint8_t info8 = 0;
        ASSERT_TRUE(adc->GetInfoByte(info8));
        EXPECT_EQ(info8, 0x2A);
        EXPECT_TRUE(adc->SetOption(1, 1));
        ASSERT_TRUE(heard.Subscriber<IFeature1F20ADCMeasurement::Report>::subscribe(adc, 0, ""));

        // The mouse behind the receiver: special keys with raw XY, presenter, out-of-box, 3D sensor.
        auto mouseKeys = feature<IFeature1B04SpecialKeys>(mouse, 0x1B04);
        auto presenter = feature<IFeature1A00PresenterControl>(mouse, 0x1A00);
        auto sensor = feature<IFeature1A013DSensor>(mouse, 0x1A01);
        auto oob = feature<IFeature1805OOBState>(mouse, 0x1805);
        ASSERT_TRUE(mouseKeys && presenter && sensor && oob);
        std::uint32_t target = 0;
        std::uint8_t option = 0;
        ASSERT_TRUE(mouseKeys->SetKeyReporting(0x0011, 2, 0x0304, 1));
        ASSERT_TRUE(mouseKeys->GetKeyReporting(0x0011, &reporting, &target, &option));
        EXPECT_EQ(reporting, 2);
        EXPECT_EQ(target, 0x0304u);
        EXPECT_EQ(option, 1);
        unsigned short setting = 0;
        ASSERT_TRUE(presenter->SetPresenterSetting(0x0102, 0));
        ASSERT_TRUE(presenter->GetPresenterSetting(&setting));
        EXPECT_EQ(setting, 0x0102);
        std::uint8_t sensorSetting = 0;
        ASSERT_TRUE(sensor->Set3DSensorSetting(6));
        ASSERT_TRUE(sensor->Get3DSensorSetting(&sensorSetting));
        EXPECT_EQ(sensorSetting, 6);
        oob->SetOOBState();
        EXPECT_EQ(last_error().code, 0u);
        ASSERT_TRUE(heard.Subscriber<IFeature1B04SpecialKeys::RawXYReport>::subscribe(mouseKeys, 0, ""));
        ASSERT_TRUE(heard.Subscriber<IFeature1A013DSensor::RawXYZReport>::subscribe(sensor, 0, ""));
    }, "the round trips");

    // One notification of each family, delivered from the run loop.
    ASSERT_TRUE(kbModel->notify(0x1001, 0, {0x0F, 0xA1, 0x00, 0x00}));
    ASSERT_TRUE(kbModel->notify(0x1800, 6, {1}));
    ASSERT_TRUE(kbModel->notify(0x1981, 0, {4, 0, 0}));
    ASSERT_TRUE(kbModel->notify(0x1B03, 0, {0x00, 0x10, 0, 0, 0, 0, 0, 0}));
    ASSERT_TRUE(kbModel->notify(0x1BC0, 0, {0, 1, 0, 4, 0, 5}));
    ASSERT_TRUE(kbModel->notify(0x1F1F, 0, {0, 4, 3, 0, 0, 0, 0xFF}));
    ASSERT_TRUE(kbModel->notify(0x1F20, 0, {0x01, 0x00, 0x00, 0x00}));
    auto* mouseModel = receiver->paired(1);
    ASSERT_TRUE(mouseModel->notify(0x1B04, 1, {0xFF, 0xFF, 0x00, 0x02, 0, 0, 0, 0}));
    ASSERT_TRUE(mouseModel->notify(0x1A01, 0, {0x00, 0x05, 0, 0, 0, 0, 0, 0}));
    for (const char* name : {"battery 4001", "test 6", "backlight 4", "keys 16", "usages 2", "property", "adc 256",
                             "xy -1 2", "xyz 5"})
        EXPECT_TRUE(heard.wait_for(name)) << name;
}

TEST_F(SettingsEndToEnd, AnUnlinkedMouseKeepsItsKeyReportingUntilLinkedAgain)
{
    auto mouseKeys = within([&] { return feature<IFeature1B04SpecialKeys>(mouse, 0x1B04); });
    ASSERT_TRUE(mouseKeys);
    auto* mouseModel = receiver->paired(1);

    Connection connection;
    ASSERT_TRUE(connection.subscribe(mouse, 0, ""));
    receiver->receiver().unlink(1);
    ASSERT_TRUE(connection.wait_for_disconnect());

    // The paired device refuses requests while unlinked: the write is kept and counts as done.
    const auto before = mouseModel->write_count();
    const bool deferred = within([&] {
        std::uint8_t r = 0;
        EXPECT_FALSE(mouseKeys->GetKeyReporting(0x0010, &r, nullptr, nullptr));
        EXPECT_EQ(last_error().code, 5u);
        return mouseKeys->SetKeyReporting(0x0010, 3, 0x0506, 1) && last_error().code == 0;
    });
    EXPECT_TRUE(deferred);
    EXPECT_EQ(mouseModel->write_count(), before) << "nothing reached the unlinked mouse";

    receiver->receiver().link(1);
    const Bytes expected{0x00, 0x10, 0x03, 0x05, 0x06, 0x01};
    EXPECT_TRUE(written_eventually(*mouseModel, [&](const Bytes& w) {
        return w.size() >= 10 && (w[3] >> 4) == 3 && Bytes(w.begin() + 4, w.begin() + 10) == expected;
    }));
    connection.unsubscribe(mouse);
    const Bytes stored = mouseModel->answer_value(0x1B04, 2);
    EXPECT_EQ(Bytes(stored.begin(), stored.begin() + std::min<std::size_t>(6, stored.size())), expected)
        << "the re-applied write was stored";
}

TEST(SettingsScenario, FeatureChildrenAreCheckedAsTheyAreRead)
{
    for (const char* bad : {
             R"(<scenario><device kind="keyboard" vendor="0x7E51" product="0x4001"><feature/></device></scenario>)",
             R"(<scenario><device kind="keyboard" vendor="0x7E51" product="0x4001"><feature id="0"/></device></scenario>)",
             R"(<scenario><device kind="mouse" vendor="0x7E51" product="0x4010"><feature id="0x1001"><answer function="1" bytes="0G"/></feature></device></scenario>)",
             R"(<scenario><device kind="mouse" vendor="0x7E51" product="0x4010"><feature id="0x1001"><answer function="16" bytes="01"/></feature></device></scenario>)",
             R"(<scenario><device kind="mouse" vendor="0x7E51" product="0x4010"><feature id="0x1001"><answer function="1" bytes="00 01 02 03 04 05 06 07 08 09 0A 0B 0C 0D 0E 0F 10"/></feature></device></scenario>)",
         }) {
        SCOPED_TRACE(bad);
        EXPECT_THROW(platform::sim::Scenario::from_text(bad), platform::sim::ScenarioError);
    }
    platform::sim::remove_all_dev_nodes();
}

} // namespace
} // namespace devio::test
