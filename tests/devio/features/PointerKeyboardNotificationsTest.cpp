// Notifications of the pointer, keyboard and gesture features: (feature, hook, number, software
// id, payload) -> the handler and its arguments, nothing, or code 2 on the delivering thread.
#include "FakeDevice.h"

#include "core/ErrorRecord.h"
#include "features/Feature.h"
#include "features/FeatureRegistry.h"
#include "features/IFeature2005ButtonSwapCancel.h"
#include "features/IFeature2121HiResWheel.h"
#include "features/IFeature2130RatchetWheel.h"
#include "features/IFeature2150Thumbwheel.h"
#include "features/IFeature2240SurfaceTuning.h"
#include "features/IFeature2250ActivityTracking.h"
#include "features/IFeature2400HybridTracking.h"
#include "features/IFeature40A2FnInversion.h"
#include "features/IFeature40A3FnInversion.h"
#include "features/IFeature4220LockKeyState.h"
#include "features/IFeature4521DisableKeys.h"
#include "features/IFeature4530DualPlatform.h"
#include "features/IFeature4531MultiPlatform.h"
#include "features/IFeature4600Crown.h"
#include "features/IFeature6100TouchPadRawXY.h"
#include "features/IFeature9001TestPMW3816.h"

#include <gtest/gtest.h>

#include <sstream>

using namespace devio;

namespace {

using Bytes = std::vector<Byte>;

void put(std::ostringstream& out, const Bytes& v)
{
    out << '[';
    for (std::size_t i = 0; i < v.size(); ++i)
        out << (i ? "," : "") << int(v[i]);
    out << ']';
}
template <class T>
void put(std::ostringstream& out, const T& v)
{
    out << static_cast<long long>(v);
}

// One recorder for every event interface these features publish: "handler a b c" per call.
struct Recorder : IFeature2005ButtonSwapCancel::SettingChange,
                  IFeature2121HiResWheel::Report,
                  IFeature2121HiResWheel::SettingChange,
                  IFeature2121HiResWheel::RatchetSwitch,
                  IFeature2130RatchetWheel::Report,
                  IFeature2150Thumbwheel::Event,
                  IFeature2240SurfaceTuning::Report,
                  IFeature2250ActivityTracking::Event,
                  IFeature2400HybridTracking::Report,
                  IFeature40A2FnInversion::SettingChange,
                  IFeature40A3FnInversion::Report,
                  IFeature4220LockKeyState::Report,
                  IFeature4521DisableKeys::SettingChange,
                  IFeature4530DualPlatform::Report,
                  IFeature4531MultiPlatform::Report,
                  IFeature4600Crown::CrownEvent,
                  IFeature6100TouchPadRawXY::Report,
                  IFeature9001TestPMW3816::Event {
    std::vector<std::string> calls;

    template <class... A>
    void add(const char* name, const A&... args)
    {
        std::ostringstream out;
        out << name;
        ((out << ' ', put(out, args)), ...);
        calls.push_back(out.str());
    }

    // 0x2005 and 0x40A2 share the signature: one override serves both.
    void onSettingChange(unsigned sw, bool on) override { add("onSettingChange", sw, on); }
    void onGetAnalyticsData(unsigned sw, Bytes data) override { add("onGetAnalyticsData", sw, data); }
    void onWheelMovement(bool hi, unsigned periods, int a, int b) override { add("onWheelMovement", hi, periods, a, b); }
    void onSettingChange(unsigned sw, bool a, bool b, bool c, unsigned v1, unsigned v2, bool d) override
    {
        add("onSettingChange", sw, a, b, c, v1, v2, d);
    }
    void onRatchetSwitch(bool s) override { add("onRatchetSwitch", s); }
    void onWheelMovement(int a, int b) override { add("onWheelMovement", a, b); }
    void onModeChanged(unsigned sw, unsigned short mode) override { add("onModeChanged", sw, mode); }
    void OnThumbwheelEvent(unsigned short r, unsigned t, std::uint8_t s, bool a, bool b, bool c) override
    {
        add("OnThumbwheelEvent", r, t, s, a, b, c);
    }
    void OnThumbwheelReportingChanged(unsigned sw, std::uint8_t mode, bool s) override
    {
        add("OnThumbwheelReportingChanged", sw, mode, s);
    }
    void onShutterCalibrationDone(bool ok, Byte r) override { add("onShutterCalibrationDone", ok, r); }
    void onSqualCalibrationDone(bool ok, Byte a, Byte b) override { add("onSqualCalibrationDone", ok, a, b); }
    void onModeChanged(unsigned sw, bool on) override { add("onModeChanged", sw, on); }
    void onDataFetched(unsigned sw, std::uint32_t a, std::uint32_t b, std::uint32_t c, std::uint32_t d) override
    {
        add("onDataFetched", sw, a, b, c, d);
    }
    void onHybridRawData(const Bytes& data) override { add("onHybridRawData", data); }
    void onHybridStateChange(const HybridReporting::SpeedInfo& i) override
    {
        add("onHybridStateChange", i.state, i.speed1, i.speed2, i.speed3, i.speed4, i.value5, i.value6, i.value7);
    }
    void onFLockChange(short sel, bool a, bool b, int d) override { add("onFLockChange", sel, a, b, d); }
    void onLockKeyChange(short s) override { add("onLockKeyChange", s); }
    void onSettingChange(unsigned sw, bool a, bool b, bool c, bool d, bool e) override
    {
        add("onSettingChange", sw, a, b, c, d, e);
    }
    void onPlatformChangeEvent(short p) override { add("onPlatformChangeEvent", p); }
    void onPlatformChangeEvent(short a, short b, short c) override { add("onPlatformChangeEvent", a, b, c); }
    void onCrownEvent(IFeature4600Crown::CrownEventData e) override
    {
        add("onCrownEvent", e.first, e.second, e.third, e.state[0], e.state[3], e.lastValue);
    }
    void onModeChanged(unsigned sw, IFeature4600Crown::CrownMode m) override
    {
        add("onModeChanged", sw, m.first, m.second, m.third, m.fourth, m.fifth);
    }
    void onDualXYData(IFeature6100TouchPadRawXY::DualXYData d) override
    {
        add("onDualXYData", d.leadingWord, d.point1.x, d.point1.y, d.point1.nibble, d.flag0, d.flag1, d.flag2, d.flag3,
            d.point2.x, d.point2.y, d.trailingNibble);
    }
    void onModeChanged(unsigned sw) override { add("onModeChanged", sw); }
    void OnTrackingReport(std::uint16_t a, std::uint16_t b, std::uint8_t c, std::uint8_t d, std::uint8_t e,
                          std::uint8_t f, std::uint16_t g, std::uint16_t h, std::uint8_t i, std::uint16_t j) override
    {
        add("OnTrackingReport", a, b, c, d, e, f, g, h, i, j);
    }
    void OnFrameCaptureReport(const Bytes& frame) override { add("OnFrameCaptureReport", frame); }
};

template <class E>
void subscribe_if(const std::shared_ptr<IFeature>& feature, Recorder& recorder)
{
    if (auto* producer = dynamic_cast<Producer<E>*>(feature.get())) {
        ASSERT_TRUE(producer->subscribe(static_cast<E*>(&recorder), 1));
    }
}

void subscribe_all(const std::shared_ptr<IFeature>& f, Recorder& r)
{
    subscribe_if<IFeature2005ButtonSwapCancel::SettingChange>(f, r);
    subscribe_if<IFeature2121HiResWheel::Report>(f, r);
    subscribe_if<IFeature2121HiResWheel::SettingChange>(f, r);
    subscribe_if<IFeature2121HiResWheel::RatchetSwitch>(f, r);
    subscribe_if<IFeature2130RatchetWheel::Report>(f, r);
    subscribe_if<IFeature2150Thumbwheel::Event>(f, r);
    subscribe_if<IFeature2240SurfaceTuning::Report>(f, r);
    subscribe_if<IFeature2250ActivityTracking::Event>(f, r);
    subscribe_if<IFeature2400HybridTracking::Report>(f, r);
    subscribe_if<IFeature40A2FnInversion::SettingChange>(f, r);
    subscribe_if<IFeature40A3FnInversion::Report>(f, r);
    subscribe_if<IFeature4220LockKeyState::Report>(f, r);
    subscribe_if<IFeature4521DisableKeys::SettingChange>(f, r);
    subscribe_if<IFeature4530DualPlatform::Report>(f, r);
    subscribe_if<IFeature4531MultiPlatform::Report>(f, r);
    subscribe_if<IFeature4600Crown::CrownEvent>(f, r);
    subscribe_if<IFeature6100TouchPadRawXY::Report>(f, r);
    subscribe_if<IFeature9001TestPMW3816::Event>(f, r);
}

Bytes long16(Bytes p)
{
    p.resize(16, 0);
    return p;
}

enum Hook { Event, Response };

struct Row {
    const char* name;
    std::uint16_t feature;
    Hook hook;
    unsigned number;
    Bytes payload;
    std::vector<std::string> published;
    std::uint32_t code = 0; // last error on the delivering thread afterwards
};

TEST(PointerKeyboardNotifications, DecodedPublishedOrDropped)
{
    const Bytes hybrid = long16({0x03, 0xFF, 0xFE, 0x00, 0x01, 0x80, 0x00, 0x7F, 0xFF, 0xFF, 0xFE, 0x00, 0x02, 0x99, 0x01, 0x00});
    const std::vector<Row> rows = {
        {"2005 setting change", 0x2005, Response, 1, {0x02, 0, 0}, {"onSettingChange 5 1"}},
        {"2005 other function", 0x2005, Response, 0, {0x02, 0, 0}, {}},
        {"2121 movement", 0x2121, Event, 0, {0x1A, 0xFF, 0xFE, 0x00, 0x03}, {"onWheelMovement 1 10 -2 3"}},
        {"2121 movement of 4 bytes", 0x2121, Event, 0, {0x1A, 0xFF, 0xFE, 0x00}, {}},
        {"2121 ratchet", 0x2121, Event, 1, {0x03}, {"onRatchetSwitch 1"}},
        {"2121 mode change", 0x2121, Response, 2, {0x0D, 4, 5}, {"onSettingChange 5 1 0 1 4 5 1"}},
        {"2121 analytics in a short report", 0x2121, Response, 4, {1, 2, 3}, {}},
        {"2121 analytics", 0x2121, Response, 4, long16({9}), {"onGetAnalyticsData 5 [9,0,0,0,0,0,0,0,0,0,0,0,0,0,0,0]"}},
        {"2130 movement", 0x2130, Event, 0, {0x80, 0x7F}, {"onWheelMovement -128 127"}},
        {"2130 empty movement", 0x2130, Event, 0, {}, {"onWheelMovement 0 0"}},
        {"2130 mode", 0x2130, Response, 1, {0x04}, {"onModeChanged 5 4"}},
        {"2150 event flags", 0x2150, Event, 0, {0x01, 0x02, 0x00, 0x03, 0x07, 0x0E}, {"OnThumbwheelEvent 258 3 7 1 1 1"}},
        {"2150 event bit 0 only", 0x2150, Event, 0, {0x01, 0x02, 0x00, 0x03, 0x07, 0x01}, {"OnThumbwheelEvent 258 3 7 0 0 0"}},
        {"2150 event of 5 bytes", 0x2150, Event, 0, {0x01, 0x02, 0x00, 0x03, 0x07}, {}},
        {"2240 squal", 0x2240, Event, 1, {0x00, 0x05, 0x07}, {"onSqualCalibrationDone 1 5 7"}},
        {"2240 shutter failed", 0x2240, Event, 0, {0x01, 0x05, 0x07}, {"onShutterCalibrationDone 0 5"}},
        {"2240 event 2", 0x2240, Event, 2, {0x00, 0x05, 0x07}, {}},
        {"2250 mode", 0x2250, Response, 1, {0x02}, {"onModeChanged 5 1"}},
        {"2250 empty mode", 0x2250, Response, 1, {}, {"onModeChanged 5 0"}},
        {"2250 data in a short report", 0x2250, Response, 2, {1, 2, 3}, {}, 2},
        {"2250 data", 0x2250, Response, 2, long16({0, 0, 1, 0}), {"onDataFetched 5 256 0 0 0"}},
        {"2400 state", 0x2400, Event, 1, hybrid, {"onHybridStateChange 3 -2 1 -32768 32767 65534 2 256"}},
        {"2400 raw", 0x2400, Event, 15, long16({1, 2}), {"onHybridRawData [1,2,0,0,0,0,0,0,0,0,0,0,0,0,0,0]"}},
        {"2400 raw in a short report", 0x2400, Event, 15, {1, 2, 3}, {}},
        {"2400 event 2", 0x2400, Event, 2, hybrid, {}},
        {"40A2 setting change", 0x40A2, Response, 1, {0x01}, {"onSettingChange 5 1"}},
        {"40A2 function 0", 0x40A2, Response, 0, {0x01}, {}},
        {"40A3 any event number", 0x40A3, Event, 7, long16({3, 1, 0, 200}), {"onFLockChange 3 1 0 200"}},
        {"40A3 short report", 0x40A3, Event, 0, {3, 1, 0}, {}, 2},
        {"4220 state", 0x4220, Event, 5, {0x07}, {"onLockKeyChange 7"}},
        {"4220 empty", 0x4220, Event, 0, {}, {}, 2},
        {"4521 change", 0x4521, Response, 2, {0x15}, {"onSettingChange 5 1 0 1 0 1"}},
        {"4521 function 1", 0x4521, Response, 1, {0x15}, {}},
        {"4530 platform", 0x4530, Event, 3, {0x02}, {"onPlatformChangeEvent 2"}},
        {"4530 empty", 0x4530, Event, 0, {}, {}, 2},
        {"4531 three values", 0x4531, Event, 9, {1, 2, 3, 0xFF}, {"onPlatformChangeEvent 1 2 3"}},
        {"4531 two bytes", 0x4531, Event, 0, {1, 2}, {}, 2},
        {"4600 crown event", 0x4600, Event, 0, long16({0x02, 0xFF, 0x05, 9, 0, 0, 8, 0, 0, 0, 0, 0, 0, 0, 0x01, 0x02}),
         {"onCrownEvent 2 -1 5 9 8 258"}},
        {"4600 event 1", 0x4600, Event, 1, long16({}), {}},
        {"4600 event in a short report", 0x4600, Event, 0, {1, 2, 3}, {}},
        {"4600 mode report", 0x4600, Response, 2, {1, 2, 3, 4, 5}, {"onModeChanged 5 1 2 3 4 5"}},
        {"4600 mode report short", 0x4600, Response, 2, {1, 2, 3}, {}},
        {"4600 function 1", 0x4600, Response, 1, {1, 2, 3, 4, 5}, {}},
        {"6100 xy", 0x6100, Event, 4,
         {0x12, 0x34, 0x3F, 0xFF, 0x20, 0x00, 0, 0, 0xA5, 0x7F, 0xFF, 0x5F, 0xFF, 0, 0, 0x3C},
         {"onDualXYData 4660 -1 -8192 10 1 0 1 0 -1 8191 12"}},
        {"6100 xy of 15 bytes", 0x6100, Event, 0, Bytes(15, 0), {}},
        {"6100 mode", 0x6100, Response, 2, {}, {"onModeChanged 5"}},
        {"6100 function 1", 0x6100, Response, 1, {}, {}},
        {"9001 tracking", 0x9001, Event, 0, long16({0x34, 0x12, 0x01, 0x00, 1, 2, 3, 4, 0x12, 0x34, 0, 5, 0, 6, 0, 7}),
         {"OnTrackingReport 4660 1 1 2 3 4 4660 5 6 7"}},
        {"9001 tracking guard", 0x9001, Event, 0, long16({1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 1}), {}},
        {"9001 frame", 0x9001, Event, 1, long16({7}), {"OnFrameCaptureReport [7,0,0,0,0,0,0,0,0,0,0,0,0,0,0,0]"}},
        {"9001 frame in a short report", 0x9001, Event, 1, {7, 0, 0}, {}},
        {"9001 event 2", 0x9001, Event, 2, long16({}), {}},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        auto device = std::make_shared<test::FakeDevice>();
        auto feature = make_feature(row.feature, 4, device);
        Recorder recorder;
        subscribe_all(feature, recorder);
        auto* base = dynamic_cast<Feature*>(feature.get());
        ASSERT_NE(base, nullptr);
        set_last_error(0);
        if (row.hook == Event)
            base->onFeatureReport(static_cast<int>(row.number), row.payload);
        else
            base->onUnexpectedResponse(row.number, 5, row.payload);
        EXPECT_EQ(recorder.calls, row.published);
        EXPECT_EQ(last_error().code, row.code);
    }
}

} // namespace
