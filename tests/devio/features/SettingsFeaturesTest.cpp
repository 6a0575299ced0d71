// The device-information and settings features beyond single exchanges: short replies at the
// edges of each minimum, notifications and other programs' reports to handlers, firmware
// property records, the host-name cache and the version-gated ADC operations.
#include "GoldenWire.h"
#include "HandlerLog.h"

#include "core/Subscriber.h"
#include "features/Feature.h"
#include "features/IFeature0000Root.h"
#include "features/IFeature1001BatteryVoltage.h"
#include "features/IFeature1010ChargingControl.h"
#include "features/IFeature1300LEDControl.h"
#include "features/IFeature1800GenericTest.h"
#include "features/IFeature1801ManufacturingMode.h"
#include "features/IFeature1806ConfigurableDeviceProperties.h"
#include "features/IFeature1814ChangeHost.h"
#include "features/IFeature1815HostsInfos.h"
#include "features/IFeature1890RfTest.h"
#include "features/IFeature18A1LEDState.h"
#include "features/IFeature1981KeyboardBacklight.h"
#include "features/IFeature1982Backlight.h"
#include "features/IFeature1983KeyboardBacklight.h"
#include "features/IFeature1A00PresenterControl.h"
#include "features/IFeature1A013DSensor.h"
#include "features/IFeature1B00SpecialKeys.h"
#include "features/IFeature1B03SpecialKeys.h"
#include "features/IFeature1B04SpecialKeys.h"
#include "features/IFeature1BC0ReportHIDUsages.h"
#include "features/IFeature1C00PersistentRemappableAction.h"
#include "features/IFeature1E00EnableHiddenFeatures.h"
#include "features/IFeature1F1FFirmwareProperties.h"
#include "features/IFeature1F20ADCMeasurement.h"

#include <gtest/gtest.h>

#include <map>

using namespace devio;
using namespace devio::test;

namespace {

using B = std::vector<Byte>;
using F = std::shared_ptr<IFeature>;

// ---------------------------------------------------------------- short replies

enum class Policy { Strict, Quiet, Fill };

struct ShortRow {
    const char* name;
    std::uint16_t feature;
    std::size_t minimum;
    Policy policy;
    std::function<bool(const F&)> call;
};

// Replies of minimum - 1, minimum, 3 and 16 bytes (those a report can carry: 3 and more).
TEST(ShortReplies, EachOperationAtItsMinimum)
{
    const ShortRow rows[] = {
        {"1001 GetBatteryInfo", 0x1001, 3, Policy::Quiet,
         [](const F& f) { IFeature1001BatteryVoltage::BatteryInfo i; return as<IFeature1001BatteryVoltage>(f)->GetBatteryInfo(i); }},
        {"1300 GetLedInfo", 0x1300, 6, Policy::Strict,
         [](const F& f) { IFeature1300LEDControl::LedInfo i; return as<IFeature1300LEDControl>(f)->GetLedInfo(0, i); }},
        {"18A1 GetLedStateCapabilities", 0x18A1, 5, Policy::Strict,
         [](const F& f) { IFeature18A1LEDState::LedStateFlags x; return as<IFeature18A1LEDState>(f)->GetLedStateCapabilities(x); }},
        {"1815 GetHostsSummary", 0x1815, 4, Policy::Strict,
         [](const F& f) { return as<IFeature1815HostsInfos>(f)->GetHostsSummary(nullptr, nullptr, nullptr); }},
        {"1815 GetHostDetails", 0x1815, 7, Policy::Strict,
         [](const F& f) { return as<IFeature1815HostsInfos>(f)->GetHostDetails(0, nullptr, nullptr, nullptr, nullptr, nullptr); }},
        {"1815 GetHostDescriptor", 0x1815, 16, Policy::Strict,
         [](const F& f) { return as<IFeature1815HostsInfos>(f)->GetHostDescriptor(0, 0, nullptr); }},
        {"1B04 GetKeyInfo", 0x1B04, 5, Policy::Fill,
         [](const F& f) { return as<IFeature1B04SpecialKeys>(f)->GetKeyInfo(0, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr); }},
        {"1C00 GetActions", 0x1C00, 8, Policy::Strict,
         [](const F& f) { IFeature1C00PersistentRemappableAction::ActionPair a; return as<IFeature1C00PersistentRemappableAction>(f)->GetActions(1, 2, a); }},
        {"1F20 GetDeviceState", 0x1F20, 3, Policy::Quiet,
         [](const F& f) { IFeature1F20ADCMeasurement::DeviceState s; return as<IFeature1F20ADCMeasurement>(f)->GetDeviceState(s, 0); }},
        {"1F20 GetFlags", 0x1F20, 2, Policy::Quiet,
         [](const F& f) { std::uint32_t x = 0; std::uint8_t o = 0; return as<IFeature1F20ADCMeasurement>(f)->GetFlags(x, o); }},
        {"1A00 GetPresenterConfiguration", 0x1A00, 9, Policy::Strict,
         [](const F& f) { return as<IFeature1A00PresenterControl>(f)->GetPresenterConfiguration(nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr); }},
        {"1A01 Get3DSensorConfiguration", 0x1A01, 11, Policy::Strict,
         [](const F& f) { return as<IFeature1A013DSensor>(f)->Get3DSensorConfiguration(nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr); }},
        {"1A01 Set3DSensorConfiguration", 0x1A01, 12, Policy::Strict,
         [](const F& f) { return as<IFeature1A013DSensor>(f)->Set3DSensorConfiguration(0, 0, 0, 0, 0, 0, 0, 0); }},
    };
    for (const ShortRow& r : rows) {
        for (std::size_t length : {r.minimum - 1, r.minimum, std::size_t(3), std::size_t(16)}) {
            if (length < 3)
                continue;
            SCOPED_TRACE(std::string(r.name) + " with " + std::to_string(length) + " bytes");
            GoldenRow row;
            row.feature = r.feature;
            row.call = [&r](const F& f) { return outcome(r.call(f)); };
            const std::string result = run_golden(row, {B(length, 0x01)}).result;
            if (length >= r.minimum)
                EXPECT_EQ(result, "true");
            else if (r.policy == Policy::Quiet)
                EXPECT_EQ(result, "false 0") << "no code of its own";
            else
                EXPECT_EQ(result, "false 2");
        }
    }
}

// ---------------------------------------------------------------- notifications

// Every handler of every event interface of these features, as text.
struct Recorder : HandlerLog,
                  Subscriber<IFeature1001BatteryVoltage::Report>,
                  Subscriber<IFeature1800GenericTest::GenericResponse>,
                  Subscriber<IFeature1801ManufacturingMode::GenericResponse>,
                  Subscriber<IFeature1981KeyboardBacklight::Report>,
                  Subscriber<IFeature1982Backlight::Report>,
                  Subscriber<IFeature1983KeyboardBacklight::Report>,
                  Subscriber<IFeature1B00SpecialKeys::KeyReport>,
                  Subscriber<IFeature1B03SpecialKeys::KeyReport>,
                  Subscriber<IFeature1B04SpecialKeys::KeyReport>,
                  Subscriber<IFeature1B04SpecialKeys::RawXYReport>,
                  Subscriber<IFeature1BC0ReportHIDUsages::Report>,
                  Subscriber<IFeature1F20ADCMeasurement::Report>,
                  Subscriber<IFeature1A013DSensor::RawXYZReport>,
                  Subscriber<IFeature1A013DSensor::Notif1Report> {
    void OnBatteryInfoChange(const IFeature1001BatteryVoltage::BatteryInfo& i) override
    {
        add("OnBatteryInfoChange", i.fromNotification, i.voltage, i.flagBit7, i.flagBit4, i.flagBit3, i.status);
    }
    void onTestResponse(int e, const std::vector<Byte>& p) override { add("onTestResponse", e, p); }
    void onBacklightChangeEvent(short a, short b, short c) override { add("onBacklightChangeEvent", a, b, c); }
    void onBacklightInfoEvent(Byte a, Byte b, IFeature1982Backlight::BacklightStatus s) override
    {
        add("onBacklightInfoEvent", a, b, static_cast<int>(s));
    }
    void onBacklightEventChange(Byte a, Byte b, IFeature1983KeyboardBacklight::BacklightStatus s) override
    {
        add("onBacklightEventChange", a, b, static_cast<int>(s));
    }
    void onKeyChange(std::vector<std::uint32_t> keys) override { add("onKeyChange", keys); }
    void OnKeyDiverted(std::uint32_t sw, std::uint32_t key, bool diverted) override
    {
        add("OnKeyDiverted", sw, key, diverted);
    }
    void OnKeyDiverted(std::uint32_t sw, std::uint32_t key, bool bit1, bool bit0, std::uint32_t target) override
    {
        add("OnKeyDiverted", sw, key, bit1, bit0, target);
    }
    void onKeyChange(std::vector<std::uint32_t> keys, std::vector<std::uint32_t> values) override
    {
        add("onKeyChange", keys, values);
    }
    void onRawXY(int x, int y) override { add("onRawXY", x, y); }
    void OnUsageEvent(const IFeature1BC0ReportHIDUsages::UsagePackage& p) override { add("OnUsageEvent", p.header, p.usages); }
    void onStatusChange(const IFeature1F20ADCMeasurement::DeviceState& s) override
    {
        add("onStatusChange", s.value, s.stateBit1, s.stateBit0, s.stateBit2, s.stateBit3);
    }
    void onRawXYZReport(short x, short y, short z) override { add("onRawXYZReport", x, y, z); }
    void onNotif1(short x, short y, short z) override { add("onNotif1", x, y, z); }

    // Joins every event interface the feature publishes.
    void join(const F& f)
    {
        Subscriber<IFeature1001BatteryVoltage::Report>::subscribe(f, 1, "");
        Subscriber<IFeature1800GenericTest::GenericResponse>::subscribe(f, 1, "");
        Subscriber<IFeature1801ManufacturingMode::GenericResponse>::subscribe(f, 1, "");
        Subscriber<IFeature1981KeyboardBacklight::Report>::subscribe(f, 1, "");
        Subscriber<IFeature1982Backlight::Report>::subscribe(f, 1, "");
        Subscriber<IFeature1983KeyboardBacklight::Report>::subscribe(f, 1, "");
        Subscriber<IFeature1B00SpecialKeys::KeyReport>::subscribe(f, 1, "");
        Subscriber<IFeature1B03SpecialKeys::KeyReport>::subscribe(f, 1, "");
        Subscriber<IFeature1B04SpecialKeys::KeyReport>::subscribe(f, 1, "");
        Subscriber<IFeature1B04SpecialKeys::RawXYReport>::subscribe(f, 1, "");
        Subscriber<IFeature1BC0ReportHIDUsages::Report>::subscribe(f, 1, "");
        Subscriber<IFeature1F20ADCMeasurement::Report>::subscribe(f, 1, "");
        Subscriber<IFeature1A013DSensor::RawXYZReport>::subscribe(f, 1, "");
        Subscriber<IFeature1A013DSensor::Notif1Report>::subscribe(f, 1, "");
    }
};

struct NotifyRow {
    const char* name;
    std::uint16_t feature;
    bool response;      // a report answering no request, else a notification
    int number;         // event number or function
    unsigned softwareId;
    B payload;
    std::string handled; // "" for nothing
    ErrorCode code;      // left on the delivering thread
};

TEST(Notifications, ReachTheirHandlersOrNothing)
{
    const B keys8{0x00, 0x10, 0x00, 0x00, 0x12, 0x34, 0x00, 0x01};
    const NotifyRow rows[] = {
        {"1001 four bytes", 0x1001, false, 0, 0, {0x0F, 0xA0, 0xFF, 0}, "OnBatteryInfoChange 1 4000 1 1 1 7", 0},
        {"1001 three bytes", 0x1001, false, 0, 0, {0x0F, 0xA0, 0xFF}, "", 0},
        {"1001 other event", 0x1001, false, 1, 0, {0x0F, 0xA0, 0xFF, 0}, "", 0},
        {"1800 anything", 0x1800, false, 7, 0, {1, 2, 3}, "onTestResponse 7 [1,2,3]", 0},
        {"1801 empty", 0x1801, false, 2, 0, {}, "onTestResponse 2 []", 0},
        {"1981 any event", 0x1981, false, 3, 0, {1, 2, 3}, "onBacklightChangeEvent 1 2 3", 0},
        {"1981 short sets code 2", 0x1981, false, 0, 0, {1, 2}, "", 2},
        {"1982 other event", 0x1982, false, 1, 0, {1, 2, 3}, "", 0},
        {"1982 short sets code 2", 0x1982, false, 0, 0, {1, 2}, "", 2},
        {"1983 status 255", 0x1983, false, 0, 0, {5, 16, 255}, "onBacklightEventChange 5 16 255", 0},
        {"1B00 any event, zeros kept", 0x1B00, false, 3, 0, keys8, "onKeyChange [16,0,4660,1]", 0},
        {"1B00 seven bytes", 0x1B00, false, 0, 0, B(7, 1), "", 0},
        {"1B03 keys", 0x1B03, false, 0, 0, keys8, "onKeyChange [16,0,4660,1]", 0},
        {"1B03 another program's reporting", 0x1B03, true, 5, 2, {0x00, 0x10, 0x03}, "OnKeyDiverted 2 16 1", 0},
        {"1B03 response on another function", 0x1B03, true, 4, 2, {0x00, 0x10, 0x03}, "", 0},
        {"1B04 keys", 0x1B04, false, 0, 0, keys8, "onKeyChange [16,0,4660,1]", 0},
        {"1B04 raw XY", 0x1B04, false, 1, 0, {0xFF, 0x38, 0x00, 0xC8, 0, 0, 0, 0}, "onRawXY -200 200", 0},
        {"1B04 keys with values", 0x1B04, false, 2, 0, {0, 0x10, 1, 0, 0x11, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0},
         "onKeyChange [16,17,0,0,0] [1,0,0,0,0]", 0},
        {"1B04 keys with values under 15 bytes", 0x1B04, false, 2, 0, B(14, 1), "", 0},
        {"1B04 event 3", 0x1B04, false, 3, 0, B(16, 1), "", 0},
        {"1B04 another program's reporting", 0x1B04, true, 3, 1, {0, 0x10, 0x02, 0x03, 0x04},
         "OnKeyDiverted 1 16 1 0 772", 0},
        {"1B04 response under 5 bytes", 0x1B04, true, 3, 1, {0, 0x10, 0x02, 0x03}, "", 0},
        {"1BC0 usages, zeros skipped", 0x1BC0, false, 0, 0, {0, 7, 0, 4, 0, 0, 0, 5, 0, 0, 0, 0, 0, 0, 0, 0},
         "OnUsageEvent 7 [4,5]", 0},
        {"1BC0 half a pair", 0x1BC0, false, 0, 0, {0, 7, 9}, "OnUsageEvent 7 []", 0},
        {"1BC0 under two bytes", 0x1BC0, false, 0, 0, {7}, "", 0},
        {"1BC0 event 1", 0x1BC0, false, 1, 0, {0, 7, 0, 4}, "", 0},
        {"1F20 four bytes", 0x1F20, false, 0, 0, {0x03, 0xE8, 0x05, 0}, "onStatusChange 1000 0 1 1 0", 0},
        {"1F20 three bytes", 0x1F20, false, 0, 0, {0x03, 0xE8, 0x05}, "", 0},
        {"1A01 raw XYZ", 0x1A01, false, 0, 0, {0xFF, 0xFE, 0x00, 0x01, 0x80, 0x00, 0, 0}, "onRawXYZReport -2 1 -32768", 0},
        {"1A01 second notification", 0x1A01, false, 1, 0, {0, 1, 0, 2, 0, 3, 0, 0}, "onNotif1 1 2 3", 0},
        {"1A01 seven bytes", 0x1A01, false, 0, 0, B(7, 1), "", 0},
        {"1A01 event 2", 0x1A01, false, 2, 0, B(8, 1), "", 0},
    };
    for (const NotifyRow& r : rows) {
        SCOPED_TRACE(r.name);
        const auto deliver = [&r](Feature& f) {
            if (r.response)
                f.onUnexpectedResponse(static_cast<unsigned>(r.number), r.softwareId, r.payload);
            else
                f.onFeatureReport(r.number, r.payload);
        };
        expect_delivery<Recorder>(r.feature, deliver, r.handled, r.code);
    }
}

// SetCookie publishes only after the device took it.
struct CookieRecorder : Subscriber<IFeature1814ChangeHost::CookieChange> {
    std::vector<std::string> log;
    void onCookieChange(std::shared_ptr<IDevice> device, short a, short b) override
    {
        log.push_back(fields(device != nullptr, a, b));
    }
};

TEST(ChangeHost, SetCookiePublishesOnlyOnSuccess)
{
    auto dev = std::make_shared<FakeDevice>();
    auto host = make<IFeature1814ChangeHost>(0x1814, dev);
    CookieRecorder recorder;
    ASSERT_TRUE(recorder.subscribe(host, 1, ""));
    EXPECT_FALSE(host->SetCookie(1, 2));
    EXPECT_TRUE(recorder.log.empty());
    dev->answer = [](const B& c) { return FakeDevice::reply_to(c, {0, 0, 0}); };
    EXPECT_TRUE(host->SetCookie(0x0101, 0x0002));
    EXPECT_EQ(recorder.log, (std::vector<std::string>{"1 257 2"}));
}

// ---------------------------------------------------------------- host names

TEST(HostNames, CachedWhenCompleteAndRebuiltAfterAFailure)
{
    auto dev = std::make_shared<FakeDevice>();
    auto hosts = make<IFeature1815HostsInfos>(0x1815, dev);
    bool failSecondChunk = true;
    dev->answer = [&failSecondChunk](const B& c) -> std::optional<B> {
        const unsigned fn = function_of(c);
        if (fn == 1)
            return FakeDevice::reply_to(c, {1, 0, 0, 0, 20, 0});
        if (fn == 3 && c[5] == 0)
            return FakeDevice::reply_to(c, {1, 0, 'A', 'B', 'C', 'D', 'E', 'F', 'G', 'H', 'I', 'J', 'K', 'L', 'M', 'N'});
        if (fn == 3 && !failSecondChunk)
            return FakeDevice::reply_to(c, {1, 14, 'o', 'p', 'q', 'r', 's', 't', 'u', 'v', 'w', 'x', 'y', 'z', '!', '?'});
        return std::nullopt;
    };
    std::string name = "unchanged";
    EXPECT_FALSE(hosts->GetHostName(2, &name, true));
    EXPECT_EQ(name, "unchanged");

    // The next fill starts afresh: nothing of the failed one is appended to.
    failSecondChunk = false;
    ASSERT_TRUE(hosts->GetHostName(2, &name, true));
    EXPECT_EQ(name, "ABCDEFGHIJKLMNopqrst");

    dev->clear_log();
    std::string again;
    ASSERT_TRUE(hosts->GetHostName(2, &again, true));
    EXPECT_EQ(again, name);
    EXPECT_TRUE(dev->log().empty()) << "served from the cache";
    ASSERT_TRUE(hosts->GetHostName(2, &again, false));
    EXPECT_EQ(dev->log().size(), 3u) << "fetched again";
}

// ---------------------------------------------------------------- firmware properties

B cat_bytes(B a, const B& b)
{
    a.insert(a.end(), b.begin(), b.end());
    return a;
}

std::optional<B> property_device(const B& c)
{
    const unsigned fn = function_of(c);
    const Byte index = c.size() > 4 ? c[4] : 0;
    auto le = [](std::uint32_t v) { return B{Byte(v), Byte(v >> 8), Byte(v >> 16), Byte(v >> 24)}; };
    auto pad = [](B b) {
        b.resize(16, 0);
        return b;
    };
    switch (fn) {
    case 0:
        return FakeDevice::reply_to(c, {3, 0, 0});
    case 1: // 0: integer without range; 1: float with range; 2: neither
        if (index == 0)
            return FakeDevice::reply_to(c, pad(cat_bytes({0, 0x04, 0x00}, le(42))));
        if (index == 1)
            return FakeDevice::reply_to(c, pad(cat_bytes(cat_bytes(cat_bytes({1, 0x14, 0x01}, le(0x3F800000)), le(0)), le(0x40000000))));
        return FakeDevice::reply_to(c, pad({2, 0x24, 0x00}));
    case 2:
        return FakeDevice::reply_to(c, pad({index, 'p', static_cast<Byte>('0' + index)}));
    case 4: // echoes the write
        return FakeDevice::reply_to(c, pad(B(c.begin() + 4, c.end())));
    default:
        return FakeDevice::reply_to(c, pad({index}));
    }
}

TEST(FirmwareProperties, LoadReadsKindsRangesAndNames)
{
    auto dev = std::make_shared<FakeDevice>();
    dev->answer = [](const B& c) { return property_device(c); };
    auto props = make<IFeature1F1FFirmwareProperties>(0x1F1F, dev);
    testing::internal::CaptureStdout();
    ASSERT_TRUE(props->LoadProperties());
    const std::string printed = testing::internal::GetCapturedStdout();
    EXPECT_EQ(printed, "props: 3\ncmm: 42 -2147483648 2147483647\n");
    ASSERT_EQ(props->GetPropertyCount(), 3u);
    EXPECT_FALSE(props->GetProperty(3));

    auto p0 = props->GetProperty(0);
    EXPECT_TRUE(p0->IsInteger());
    EXPECT_FALSE(p0->IsFloat());
    EXPECT_EQ(p0->GetSize(), 4u);
    EXPECT_EQ(p0->GetIntValue(), 42);
    EXPECT_EQ(p0->GetName().substr(0, 2), "p0");
    EXPECT_EQ(p0->GetName().size(), 15u) << "zero bytes included";

    auto p1 = props->GetProperty(1);
    EXPECT_TRUE(p1->IsFloat());
    EXPECT_FLOAT_EQ(p1->GetFloatValue(), 1.0f);
    EXPECT_FLOAT_EQ(p1->GetFloatMin(), 0.0f);
    EXPECT_FLOAT_EQ(p1->GetFloatMax(), 2.0f);

    // Neither kind: written as four zero bytes.
    auto p2 = props->GetProperty(2);
    EXPECT_FALSE(p2->IsInteger() || p2->IsFloat());
    dev->clear_log();
    EXPECT_TRUE(p2->SetIntValue(5));
    EXPECT_EQ(params_of(dev->log().back().command), (B{2, 4, 0, 0, 0, 0, 0xFF, 0, 0, 0, 0, 0, 0, 0, 0, 0}));

    // A second load replaces every object.
    ASSERT_TRUE(props->LoadProperties());
    EXPECT_NE(props->GetProperty(0), p0);
}

struct ChangeCounter : Subscriber<IFeature1F1FFirmwareProperty::Notification> {
    int changes = 0;
    void onPropertyChanged() override { ++changes; }
};

TEST(FirmwareProperties, NotificationRecordsUpdateValues)
{
    auto dev = std::make_shared<FakeDevice>();
    dev->answer = [](const B& c) { return property_device(c); };
    auto props = make<IFeature1F1FFirmwareProperties>(0x1F1F, dev);
    auto base = std::dynamic_pointer_cast<Feature>(props);
    base->onFeatureReport(0, {0, 4, 1, 0, 0, 0}); // before loading: nothing to update
    testing::internal::CaptureStdout();
    ASSERT_TRUE(props->LoadProperties());
    testing::internal::GetCapturedStdout();
    auto p0 = props->GetProperty(0);
    ChangeCounter counter;
    ASSERT_TRUE(counter.subscribe(p0, 1, ""));

    base->onFeatureReport(0, {0, 4, 0xFE, 0xFF, 0xFF, 0xFF, 0xFF, 0, 0, 0, 0, 0, 0, 0, 0, 0});
    EXPECT_EQ(p0->GetIntValue(), -2);
    EXPECT_EQ(counter.changes, 1);
    base->onFeatureReport(0, {0xFF, 4, 1, 0, 0, 0});
    base->onFeatureReport(1, {0, 4, 1, 0, 0, 0});
    EXPECT_EQ(counter.changes, 1) << "an end mark first, or another event, changes nothing";
    // A record whose value would pass the payload's end ends the walk.
    base->onFeatureReport(0, {0, 4, 7, 0, 0, 0, 0, 4, 9});
    EXPECT_EQ(p0->GetIntValue(), 7);
    EXPECT_EQ(counter.changes, 2);
}

TEST(FirmwareProperties, WritesThroughTheFeatureWhileItLives)
{
    auto dev = std::make_shared<FakeDevice>();
    dev->answer = [](const B& c) { return property_device(c); };
    auto props = make<IFeature1F1FFirmwareProperties>(0x1F1F, dev);
    testing::internal::CaptureStdout();
    ASSERT_TRUE(props->LoadProperties());
    testing::internal::GetCapturedStdout();
    auto p0 = props->GetProperty(0);
    dev->clear_log();
    ASSERT_TRUE(p0->SetIntValue(-3));
    EXPECT_EQ(params_of(dev->log().back().command), (B{0, 4, 0xFD, 0xFF, 0xFF, 0xFF, 0xFF, 0, 0, 0, 0, 0, 0, 0, 0, 0}));

    // A reply for another property: false, and the value stays as set.
    dev->answer = [](const B& c) { return FakeDevice::reply_to(c, B(16, 9)); };
    EXPECT_FALSE(p0->SetIntValue(11));
    EXPECT_EQ(p0->GetIntValue(), 11);

    // The feature gone: the property no longer reaches it.
    props.reset();
    EXPECT_FALSE(p0->SetIntValue(12));
    EXPECT_EQ(last_error().code, 28u);
    EXPECT_FALSE(p0->CallFunction5());
}

// ---------------------------------------------------------------- own version of 0x1F20

TEST(AdcMeasurement, VersionGatesFlagsAndOption)
{
    struct Row {
        std::uint8_t version;
        bool sends;
    };
    for (const Row& r : {Row{3, false}, Row{4, true}}) {
        SCOPED_TRACE("version " + std::to_string(r.version));
        auto dev = std::make_shared<FakeDevice>();
        auto root = make_feature(0x0000, 0, dev);
        dev->feature_lookup = [root](std::uint32_t id) { return id == 0 ? root : nullptr; };
        const Byte version = r.version;
        dev->answer = [version](const B& c) {
            return FakeDevice::reply_to(c, c[2] == 0 ? B{7, 0, version} : B{1, 1, 0});
        };
        auto adc = make<IFeature1F20ADCMeasurement>(0x1F20, dev);
        std::uint32_t flags = 0;
        std::uint8_t option = 0;
        // Unread, the version lets both through.
        EXPECT_TRUE(adc->GetFlags(flags, option));
        EXPECT_EQ(adc->feature_version(), r.version);
        dev->clear_log();
        set_last_error(77, 0, nullptr);
        EXPECT_EQ(adc->GetFlags(flags, option), r.sends);
        EXPECT_EQ(adc->SetOption(1, 3), r.sends);
        EXPECT_EQ(dev->log().size(), r.sends ? 2u : 0u);
        if (!r.sends) {
            EXPECT_EQ(last_error().code, 77u) << "a refusal leaves the record";
        }
        dev->clear_log();
        EXPECT_EQ(adc->feature_version(), r.version);
        EXPECT_TRUE(dev->log().empty()) << "read once";
    }
}

// ---------------------------------------------------------------- asynchronous LED writes

TEST(LedControl, AsynchronousWritesCarryTheFirstByteMergeRule)
{
    auto dev = std::make_shared<FakeDevice>();
    dev->answer = [](const B& c) { return FakeDevice::reply_to(c, {0, 0, 0}); };
    auto leds = make<IFeature1300LEDControl>(0x1300, dev);
    ASSERT_TRUE(leds->SetLedState(3, 1, 2, 3, 4, true));
    auto request = leds->SetLedStateAsync(3, 1, 2, 3, 4);
    ASSERT_TRUE(request);
    EXPECT_TRUE(request->wait());
    EXPECT_FALSE(leds->SetLedStateAsync(-1, 0, 0, 0, 0));
    EXPECT_EQ(last_error().code, 46u);
    const auto log = dev->log();
    ASSERT_EQ(log.size(), 2u);
    for (const auto& sent : log) {
        ASSERT_TRUE(sent.merge_rule);
        EXPECT_TRUE(sent.merge_rule({3, 9}, {3, 1}));
        EXPECT_FALSE(sent.merge_rule({4, 9}, {3, 1}));
    }
}

} // namespace
