// What every feature family relies on, against a real devio::Device and the simulated device:
// the answer table behind unmodelled features, a blocking request from the thread that
// delivers the device's reports, and the re-apply marks when the device drops its list.
#include "devio/device/DeviceTestSupport.h"
#include "support/Within.h"

#include "core/Subscriber.h"
#include "features/Feature.h"
#include "features/IFeature1001BatteryVoltage.h"
#include "features/IFeature1010ChargingControl.h"

#include <gtest/gtest.h>

#include <atomic>

using namespace devio;
using namespace devio::test;
using quillon::test::within;

namespace {

template <class I>
std::shared_ptr<I> feature_of(Rig& rig, std::uint32_t id)
{
    return std::dynamic_pointer_cast<I>(rig.device->getFeatureSync(id));
}

TEST(AnswerTable, StoredValuesFollowWritesAndRowsOverrideDefaults)
{
    auto config = keyboard_with({0x1010, 0x1001});
    config.answers.push_back(platform::sim::SimAnswer::fixed(0x1001, 0, {0x12, 0x34, 0x00}));
    Rig rig(config);
    auto charging = feature_of<IFeature1010ChargingControl>(rig, 0x1010);
    ASSERT_TRUE(charging);
    std::uint8_t value = 0;
    ASSERT_TRUE(charging->GetChargingControl(value));
    EXPECT_EQ(value, 1);
    ASSERT_TRUE(charging->SetChargingControl(7));
    ASSERT_TRUE(charging->GetChargingControl(value));
    EXPECT_EQ(value, 7);
    EXPECT_EQ(rig.model->answer_value(0x1010, 0), (platform::sim::Bytes{7}));

    auto battery = feature_of<IFeature1001BatteryVoltage>(rig, 0x1001);
    ASSERT_TRUE(battery);
    IFeature1001BatteryVoltage::BatteryInfo info;
    ASSERT_TRUE(battery->GetBatteryInfo(info));
    EXPECT_EQ(info.voltage, 0x1234);
}

TEST(AnswerTable, RecordsSlicesAndMissingKeys)
{
    using platform::sim::SimAnswer;
    platform::sim::SimAnswerTable table({
        SimAnswer::record(0x1815, 1, {{0, {9}}}),
        SimAnswer::slice(0x1815, 3, {{2, {'a', 'b', 'c', 'd', 'e'}}}, 1, 2, 2, true),
        SimAnswer::echoed(0x1815, 4),
    });
    EXPECT_EQ(table.answer(0x1815, 1, {0})->payload, (platform::sim::Bytes{9}));
    EXPECT_TRUE(table.answer(0x1815, 1, {1})->error);
    EXPECT_EQ(table.answer(0x1815, 3, {2, 3})->payload, (platform::sim::Bytes{2, 3, 'd', 'e'}));
    EXPECT_EQ(table.answer(0x1815, 3, {2, 9})->payload, (platform::sim::Bytes{2, 9})) << "past the end: nothing";
    EXPECT_TRUE(table.answer(0x1815, 3, {1, 0})->error);
    EXPECT_EQ(table.answer(0x1815, 4, {5, 6})->payload, (platform::sim::Bytes{5, 6}));
    EXPECT_FALSE(table.answer(0x1815, 5, {}));
}

// A direct subscriber that calls an operation runs on the thread delivering the device's
// reports, which alone could deliver the reply: the call fails at once, and the device goes on.
class CallingSubscriber : public Subscriber<IFeature1001BatteryVoltage::Report> {
public:
    std::shared_ptr<IFeature1001BatteryVoltage> feature;
    std::atomic<bool> done{false};
    std::atomic<bool> result{true};
    std::atomic<ErrorCode> code{0};
    void OnBatteryInfoChange(const IFeature1001BatteryVoltage::BatteryInfo&) override
    {
        result = feature->CallFunction1();
        code = last_error().code;
        done = true;
    }
};

TEST(ReportThread, ABlockingCallFromADirectSubscriberFailsFast)
{
    Rig rig(keyboard_with({0x1001}));
    auto battery = feature_of<IFeature1001BatteryVoltage>(rig, 0x1001);
    ASSERT_TRUE(battery);
    CallingSubscriber subscriber;
    subscriber.feature = battery;
    ASSERT_TRUE(subscriber.subscribe(battery, 1, "test"));
    const auto before = rig.model->write_count();
    ASSERT_TRUE(rig.model->notify(0x1001, 0, {0x0F, 0xA0, 0x00, 0x00}));
    ASSERT_TRUE(eventually([&] { return subscriber.done.load(); }, 5s));
    EXPECT_FALSE(subscriber.result);
    EXPECT_EQ(subscriber.code, 4u);
    EXPECT_EQ(rig.model->write_count(), before) << "nothing was sent";
    EXPECT_FALSE(rig.device->is_unresponsive());
    EXPECT_TRUE(within([&] { return battery->CallFunction1(); }, "the next request"));
    subscriber.unsubscribe(battery);
}

TEST(ReapplyMarks, DroppingTheListClearsThem)
{
    Rig rig(keyboard_with({0x1010}));
    auto charging = std::dynamic_pointer_cast<Feature>(rig.device->getFeatureSync(0x1010));
    ASSERT_TRUE(charging);
    ASSERT_TRUE(charging->defer_setting_change());
    ASSERT_TRUE(charging->reapply_pending());
    ASSERT_TRUE(rig.device->has_config_requests());
    rig.device->invalidate(nullptr);
    EXPECT_FALSE(rig.device->has_config_requests());
    EXPECT_FALSE(charging->reapply_pending()) << "the next deferred write registers again";
    ASSERT_TRUE(charging->defer_setting_change());
    EXPECT_TRUE(rig.device->has_config_requests());
}

} // namespace
