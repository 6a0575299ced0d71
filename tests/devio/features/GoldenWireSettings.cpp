// Golden wire rows of the device-information and settings features.
#include "GoldenWire.h"

#include "features/IFeature1001BatteryVoltage.h"
#include "features/IFeature1010ChargingControl.h"
#include "features/IFeature1300LEDControl.h"
#include "features/IFeature1800GenericTest.h"
#include "features/IFeature1801ManufacturingMode.h"
#include "features/IFeature1802DeviceReset.h"
#include "features/IFeature1805OOBState.h"
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

namespace devio::test {
namespace {

using B = std::vector<Byte>;
using F = std::shared_ptr<IFeature>;

std::string done() { return "done " + std::to_string(last_error().code); }

const GoldenRows rows8({
    // ---- 0x1001, 0x1010
    {"1001 GetBatteryInfo decodes voltage, flags and status", 0x1001, {{0x0F, 0xA0, 0xFF}},
     [](const F& f) {
         IFeature1001BatteryVoltage::BatteryInfo i;
         const bool ok = as<IFeature1001BatteryVoltage>(f)->GetBatteryInfo(i);
         return outcome(ok, i.fromNotification, i.voltage, i.flagBit7, i.flagBit4, i.flagBit3, i.status);
     },
     {{0, {}}}, "true 0 4000 1 1 1 7"},
    {"1001 GetBatteryInfo without an answer keeps the time-out", 0x1001, {},
     [](const F& f) {
         IFeature1001BatteryVoltage::BatteryInfo i;
         return outcome(as<IFeature1001BatteryVoltage>(f)->GetBatteryInfo(i));
     },
     {{0, {}}}, "false 4"},
    {"1001 CallFunction1 takes any reply", 0x1001, {{0x00, 0x00, 0x00}},
     [](const F& f) { return outcome(as<IFeature1001BatteryVoltage>(f)->CallFunction1()); }, {{1, {}}}, "true"},
    {"1010 GetChargingControl reads byte 0", 0x1010, {{0x05, 0x00, 0x00}},
     [](const F& f) {
         std::uint8_t v = 0;
         const bool ok = as<IFeature1010ChargingControl>(f)->GetChargingControl(v);
         return outcome(ok, v);
     },
     {{0, {}}}, "true 5"},
    {"1010 SetChargingControl sends the value, 0 included", 0x1010, {{}},
     [](const F& f) { return outcome(as<IFeature1010ChargingControl>(f)->SetChargingControl(0)); }, {{1, {0x00}}},
     "true"},

    // ---- 0x1300, 0x18A1
    {"1300 GetLedInfo decodes five fields", 0x1300, {{0x01, 0x02, 0x03, 0x12, 0x34, 0x05}},
     [](const F& f) {
         IFeature1300LEDControl::LedInfo i;
         const bool ok = as<IFeature1300LEDControl>(f)->GetLedInfo(3, i);
         return outcome(ok, i.info0, i.info1, i.info2, i.info3, i.info4);
     },
     {{1, {3}}}, "true 1 2 3 4660 5"},
    {"1300 GetLedStateDetails pads a short reply", 0x1300, {{0x09, 0x02, 0x07}},
     [](const F& f) {
         std::uint32_t state = 9, value = 9, extra = 9;
         bool has = true;
         const bool ok = as<IFeature1300LEDControl>(f)->GetLedStateDetails(0, state, value, has, extra);
         return outcome(ok, state, value, has, extra);
     },
     {{4, {0}}}, "true 2 0 0 0"},
    {"1300 GetLedStateDetails extra only when byte 4 is 1", 0x1300, {{0, 1, 0, 4, 2, 9}},
     [](const F& f) {
         std::uint32_t state = 9, value = 9, extra = 9;
         bool has = true;
         const bool ok = as<IFeature1300LEDControl>(f)->GetLedStateDetails(0, state, value, has, extra);
         return outcome(ok, state, value, has, extra);
     },
     {{4, {0}}}, "true 1 4 0 0"},
    {"1300 SetLedState frames nine bytes", 0x1300, {{}},
     [](const F& f) { return outcome(as<IFeature1300LEDControl>(f)->SetLedState(2, 0x0102, 0x0304, 0x0506, 0x0708, false)); },
     {{5, {2, 1, 2, 3, 4, 5, 6, 7, 8}}}, "true"},
    {"1300 negative LED refused before sending", 0x1300, {},
     [](const F& f) { return outcome(as<IFeature1300LEDControl>(f)->SetLedState(-1, 1, 2, 3, 4, true)); }, {},
     "false 46"},
    {"18A1 GetLedStateFlags maps the bit map", 0x18A1, {{0x3F, 0xFF, 0x00, 0x00, 0x80}},
     [](const F& f) {
         IFeature18A1LEDState::LedStateFlags x;
         x.flag6 = true;
         const bool ok = as<IFeature18A1LEDState>(f)->GetLedStateFlags(x);
         return outcome(ok, x.flag0, x.flag5, x.flag6, x.flag13, x.flag14, x.flag21, x.flag22, x.flag28, x.flag29);
     },
     {{1, {}}}, "true 1 1 0 0 0 0 0 0 1"},
    {"18A1 SetLedStateFlags packs flag6 into byte 2", 0x18A1, {{}},
     [](const F& f) {
         IFeature18A1LEDState::LedStateFlags x;
         x.flag6 = true;
         return outcome(as<IFeature18A1LEDState>(f)->SetLedStateFlags(x));
     },
     {{2, {0, 0, 1, 0, 0}}}, "true"},

    // ---- 0x1800, 0x1801, 0x1802, 0x1890
    {"1800 SendTest returns the reply with the test number", 0x1800, {{5, 9, 8}},
     [](const F& f) {
         B r;
         const bool ok = as<IFeature1800GenericTest>(f)->SendTest(5, {0xAA}, &r);
         return outcome(ok, r);
     },
     {{0, {5, 0xAA}}}, "true [5,9,8]"},
    {"1800 SendTest refuses a reply for another test", 0x1800, {{6, 9, 8}},
     [](const F& f) {
         B r{1};
         const bool ok = as<IFeature1800GenericTest>(f)->SendTest(5, {}, &r);
         return outcome(ok) + " | " + fields(r);
     },
     {{0, {5}}}, "false 56 | [1]"},
    {"1800 SendTest over sixteen parameter bytes sends nothing", 0x1800, {},
     [](const F& f) { return outcome(as<IFeature1800GenericTest>(f)->SendTest(1, B(16, 0), nullptr)); }, {},
     "false 46"},
    {"1801 SendCommand uses the caller's function", 0x1801, {{1, 2, 3}},
     [](const F& f) {
         B r;
         const bool ok = as<IFeature1801ManufacturingMode>(f)->SendCommand(0x13, {0xAA}, &r);
         return outcome(ok, r);
     },
     {{3, {0xAA}}}, "true [1,2,3]"},
    {"1801 SendCommand over sixteen parameter bytes sends nothing", 0x1801, {},
     [](const F& f) { return outcome(as<IFeature1801ManufacturingMode>(f)->SendCommand(1, B(17, 0), nullptr)); }, {},
     "false 46"},
    {"1802 ResetDevice waits and reports nothing", 0x1802, {},
     [](const F& f) {
         as<IFeature1802DeviceReset>(f)->ResetDevice();
         return done();
     },
     {{0, {}}}, "done 4"},
    {"1890 RfTestFunction0 sends value32 high byte first", 0x1890, {{0x12, 0x34, 0}},
     [](const F& f) {
         std::uint32_t r = 0;
         const bool ok = as<IFeature1890RfTest>(f)->RfTestFunction0(0x01020304, 0xA, 78, 15, 0xB, 0xC, 0x0D0E, 0xF, r);
         return outcome(ok, r);
     },
     {{0, {1, 2, 3, 4, 0xA, 78, 15, 0xB, 0xC, 0x0D, 0x0E, 0xF}}}, "true 4660"},
    {"1890 channel 79 is refused without a code", 0x1890, {},
     [](const F& f) { return outcome(as<IFeature1890RfTest>(f)->RfTestFunction1(79, 0, 0)); }, {}, "false 0"},
    {"1890 level 16 is refused, 17 goes out", 0x1890, {{}},
     [](const F& f) {
         auto rf = as<IFeature1890RfTest>(f);
         const bool refused = !rf->RfTestFunction3(10, 78, 16, 0);
         return outcome(refused && rf->RfTestFunction3(10, 78, 17, 1));
     },
     {{3, {10, 78, 17, 1}}}, "true"},
    {"1890 RfTestFunction5 adds a zero byte", 0x1890, {{}},
     [](const F& f) { return outcome(as<IFeature1890RfTest>(f)->RfTestFunction5(-1, 1, 2, 3, 4, 5, 0x0607, 8)); },
     {{5, {0xFF, 0xFF, 0xFF, 0xFF, 1, 2, 3, 4, 5, 6, 7, 8, 0}}}, "true"},

    // ---- 0x1806
    {"1806 WriteChunks of 40 bytes in three pieces", 0x1806, {{}, {}, {}},
     [](const F& f) { return outcome(as<IFeature1806ConfigurableDeviceProperties>(f)->WriteChunks(0, seq(0x40, 40), 0)); },
     {{1, cat({0}, seq(0x40, 15))}, {1, cat({15}, seq(0x4F, 15))}, {1, cat({30}, seq(0x5E, 10))}}, "true"},
    {"1806 WriteChunks keeps the first byte only for the first piece", 0x1806, {{}, {}},
     [](const F& f) { return outcome(as<IFeature1806ConfigurableDeviceProperties>(f)->WriteChunks(7, seq(1, 20), 0)); },
     {{1, cat({7}, seq(1, 15))}, {1, cat({15}, seq(16, 5))}}, "true"},
    {"1806 a failed second piece ends the write", 0x1806, {{}},
     [](const F& f) { return outcome(as<IFeature1806ConfigurableDeviceProperties>(f)->WriteChunks(0, seq(0, 40), 0)); },
     {{1, cat({0}, seq(0, 15))}, {1, cat({15}, seq(15, 15))}}, "false 4"},
    {"1806 SetBoundedValue sends the limit", 0x1806, {{5}, {}},
     [](const F& f) { return outcome(as<IFeature1806ConfigurableDeviceProperties>(f)->SetBoundedValue(9)); },
     {{0, {}, 1}, {2, {5}}}, "true"},
    {"1806 WriteProperty: flag bit only for 1, seven value bits, data zero-filled", 0x1806, {{}},
     [](const F& f) { return outcome(as<IFeature1806ConfigurableDeviceProperties>(f)->WriteProperty(1, 2, 0xFF, {9, 8})); },
     {{4, {1, 0x7F, 9, 8, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0}}}, "true"},
    {"1806 ReadProperty of a short reply reads zeros", 0x1806, {{0x03, 0x85, 0x11}},
     [](const F& f) {
         std::uint32_t id = 1, value = 0x7F;
         bool flag = true;
         std::array<Byte, 14> data{};
         data.fill(0xEE);
         const bool ok = as<IFeature1806ConfigurableDeviceProperties>(f)->ReadProperty(id, flag, value, data);
         return outcome(ok, id, flag, value, data[0], data[1], data[13]);
     },
     {{5, {1, 0xFF}}}, "true 3 1 5 17 0 0"},

    // ---- 0x1814, 0x1815
    {"1814 GetHostStatus", 0x1814, {{3, 1, 0}},
     [](const F& f) {
         std::uint16_t a = 0, c = 9;
         const bool ok = as<IFeature1814ChangeHost>(f)->GetHostStatus(&a, nullptr, &c);
         return outcome(ok, a, c);
     },
     {{0, {}}}, "true 3 0"},
    {"1814 SetCurrentHost without waiting only writes", 0x1814, {},
     [](const F& f) { return outcome(as<IFeature1814ChangeHost>(f)->SetCurrentHost(2, false)); },
     {{1, {2}, 0, true}}, "true"},
    {"1814 GetCookies refuses a reply longer than the buffer", 0x1814, {{1, 2, 3}},
     [](const F& f) {
         std::int16_t count = 2;
         std::uint16_t buffer[2] = {9, 9};
         const bool ok = as<IFeature1814ChangeHost>(f)->GetCookies(&count, buffer);
         return outcome(ok) + " | " + fields(count, buffer[0]);
     },
     {{2, {}}}, "false 0 | 2 9"},
    {"1814 SetCookie sends the low bytes", 0x1814, {{}},
     [](const F& f) { return outcome(as<IFeature1814ChangeHost>(f)->SetCookie(0x0102, 0x0304)); }, {{3, {2, 4}}},
     "true"},
    {"1815 GetHostsSummary widens the signed count", 0x1815, {{0xFF, 0xFE, 1, 2}},
     [](const F& f) {
         std::int32_t a = 0;
         std::uint16_t b = 0, c = 0;
         const bool ok = as<IFeature1815HostsInfos>(f)->GetHostsSummary(&a, &b, &c);
         return outcome(ok, a, b, c);
     },
     {{0, {}}}, "true -2 1 2"},
    {"1815 GetHostName of 20 bytes in two chunks", 0x1815,
     {{4, 0, 0, 0, 20, 0}, cat({4, 0}, B(14, 'a')), cat({4, 14}, B(14, 'b'))},
     [](const F& f) {
         std::string name;
         const bool ok = as<IFeature1815HostsInfos>(f)->GetHostName(3, &name, true);
         return outcome(ok, name);
     },
     {{1, {3}}, {3, {4, 0}}, {3, {4, 14}}}, "true \"aaaaaaaaaaaaaabbbbbb\""},
    {"1815 GetHostName of an empty name asks only for the host", 0x1815, {{0, 0, 0, 0, 0, 0}},
     [](const F& f) {
         std::string name = "x";
         const bool ok = as<IFeature1815HostsInfos>(f)->GetHostName(0, &name, true);
         return outcome(ok, name);
     },
     {{1, {0}}}, "true \"\""},
    {"1815 GetHostName outside 0-19 sends nothing", 0x1815, {},
     [](const F& f) {
         auto h = as<IFeature1815HostsInfos>(f);
         return outcome(!h->GetHostName(20, nullptr, true) && !h->GetHostName(-1, nullptr, true));
     },
     {}, "true"},
    {"1815 SetHostNameChunk cuts data to 14 bytes", 0x1815, {{}},
     [](const F& f) { return outcome(as<IFeature1815HostsInfos>(f)->SetHostNameChunk(1, 0, seq(0x30, 20))); },
     {{4, cat({1, 0}, seq(0x30, 14))}}, "true"},
    {"1815 SetHostNameChunk refuses empty data", 0x1815, {},
     [](const F& f) { return outcome(as<IFeature1815HostsInfos>(f)->SetHostNameChunk(1, 0, {})); }, {}, "false 46"},

    // ---- 0x1981, 0x1982, 0x1983
    {"1981 GetBacklightValue with a null pointer", 0x1981, {{7, 0, 0}},
     [](const F& f) { return outcome(as<IFeature1981KeyboardBacklight>(f)->GetBacklightValue(nullptr)); }, {{0, {}}},
     "true"},
    {"1981 SetBacklightValue", 0x1981, {{}},
     [](const F& f) { return outcome(as<IFeature1981KeyboardBacklight>(f)->SetBacklightValue(5)); }, {{1, {5}}},
     "true"},
    {"1982 GetBacklightConfig reads bits", 0x1982, {{0x03, 0x06, 0x05}},
     [](const F& f) {
         IFeature1982Backlight::BacklightConfig c;
         IFeature1982Backlight::BacklightOptions o;
         const bool ok = as<IFeature1982Backlight>(f)->GetBacklightConfig(&c, &o);
         return outcome(ok, c.config0, c.config1, c.config2, c.config3, o.option0, o.option1, o.option2);
     },
     {{0, {}}}, "true 1 0 1 1 1 0 1"},
    {"1982 SetBacklightConfig packs the flags", 0x1982, {{}},
     [](const F& f) { return outcome(as<IFeature1982Backlight>(f)->SetBacklightConfig({true, true, true, true})); },
     {{1, {1, 7}}}, "true"},
    {"1983 SetBacklightSettings", 0x1983, {{}},
     [](const F& f) {
         return outcome(as<IFeature1983KeyboardBacklight>(f)->SetBacklightSettings(0x0102, true, false, false, true));
     },
     {{2, {1, 2, 9}}}, "true"},
    {"1983 GetBacklightSettings", 0x1983, {{0x01, 0x02, 0x0A}},
     [](const F& f) {
         std::uint16_t v = 0;
         bool f0 = true, f1 = false, f3 = false;
         const bool ok = as<IFeature1983KeyboardBacklight>(f)->GetBacklightSettings(&v, &f0, &f1, nullptr, &f3);
         return outcome(ok, v, f0, f1, f3);
     },
     {{1, {}}}, "true 258 0 1 1"},

    // ---- 0x1B00, 0x1B03, 0x1B04
    {"1B00 GetCount with a null pointer goes out as a repeatable read", 0x1B00, {{2, 0, 0}},
     [](const F& f) { return outcome(as<IFeature1B00SpecialKeys>(f)->GetCount(nullptr)); }, {{0, {}, 1}}, "true"},
    {"1B00 GetKeyInfo of a short report", 0x1B00, {{0, 0x10, 0}},
     [](const F& f) {
         std::uint32_t key = 9;
         const bool ok = as<IFeature1B00SpecialKeys>(f)->GetKeyInfo(1, &key, nullptr, nullptr);
         return outcome(ok) + " | " + fields(key);
     },
     {{1, {1}, 1}}, "false 2 | 9"},
    {"1B03 GetKeyInfo of a long report reads bytes 0 to 4", 0x1B03, {cat({0x00, 0x10, 0x00, 0x20, 0x01}, B(11, 0xEE))},
     [](const F& f) {
         std::uint32_t key = 0, second = 0;
         std::uint8_t flags = 0;
         const bool ok = as<IFeature1B03SpecialKeys>(f)->GetKeyInfo(0, &key, &second, &flags);
         return outcome(ok, key, second, flags);
     },
     {{1, {0}, 1}}, "true 16 32 1"},
    {"1B03 GetKeyReporting reads byte 2", 0x1B03, {{0x00, 0x10, 0x03}},
     [](const F& f) {
         std::uint8_t r = 0;
         const bool ok = as<IFeature1B03SpecialKeys>(f)->GetKeyReporting(0x0010, &r);
         return outcome(ok, r);
     },
     {{4, {0x00, 0x10}}}, "true 3"},
    {"1B03 SetKeyReporting", 0x1B03, {{}},
     [](const F& f) { return outcome(as<IFeature1B03SpecialKeys>(f)->SetKeyReporting(0x1234, 1)); },
     {{5, {0x12, 0x34, 1}}}, "true"},
    {"1B04 GetKeyInfo of 5 bytes gives zeros beyond", 0x1B04, {{0, 0x10, 0, 0x20, 1}},
     [](const F& f) {
         std::uint32_t key = 0, second = 0, b5 = 9, b6 = 9;
         std::uint8_t flags = 0, b7 = 9, b8 = 9;
         const bool ok = as<IFeature1B04SpecialKeys>(f)->GetKeyInfo(0, &key, &second, &flags, &b5, &b6, &b7, &b8);
         return outcome(ok, key, second, flags, b5, b6, b7, b8);
     },
     {{1, {0}, 1}}, "true 16 32 1 0 0 0 0"},
    {"1B04 GetKeyReporting of 4 bytes", 0x1B04, {{0, 0, 7, 0x12}},
     [](const F& f) {
         std::uint8_t r = 0, o = 9;
         std::uint32_t t = 0;
         const bool ok = as<IFeature1B04SpecialKeys>(f)->GetKeyReporting(0x10, &r, &t, &o);
         return outcome(ok, r, t, o);
     },
     {{2, {0, 0x10}}}, "true 7 4608 0"},
    {"1B04 SetKeyReporting sends six bytes", 0x1B04, {{}},
     [](const F& f) { return outcome(as<IFeature1B04SpecialKeys>(f)->SetKeyReporting(0x10, 2, 0x0304, 1)); },
     {{3, {0, 0x10, 2, 3, 4, 1}}}, "true"},

    // ---- 0x1BC0, 0x1C00
    {"1BC0 SetUsages of 8 in pieces of 6 and 2", 0x1BC0, {{}, {}},
     [](const F& f) {
         return outcome(as<IFeature1BC0ReportHIDUsages>(f)->SetUsages(1, {7, {1, 2, 3, 4, 5, 6, 0x107, 8}}));
     },
     {{1, {1, 0, 7, 0, 1, 0, 2, 0, 3, 0, 4, 0, 5, 0, 6}}, {1, {1, 0, 7, 1, 7, 0, 8}}}, "true"},
    {"1BC0 SetUsages of 7 fails on the remainder of one", 0x1BC0, {{}},
     [](const F& f) { return outcome(as<IFeature1BC0ReportHIDUsages>(f)->SetUsages(1, {7, {1, 2, 3, 4, 5, 6, 7}})); },
     {{1, {1, 0, 7, 0, 1, 0, 2, 0, 3, 0, 4, 0, 5, 0, 6}}}, "false 0"},
    {"1BC0 PlaceholderOp1 sends nothing", 0x1BC0, {},
     [](const F& f) { return outcome(as<IFeature1BC0ReportHIDUsages>(f)->PlaceholderOp1()); }, {}, "true"},
    {"1C00 GetActions of a short report keeps the presets", 0x1C00, {{1, 2, 3}},
     [](const F& f) {
         IFeature1C00PersistentRemappableAction::ActionPair a;
         const bool ok = as<IFeature1C00PersistentRemappableAction>(f)->GetActions(0x0010, 2, a);
         return outcome(ok) + " | " + fields(a.first.id, a.first.param1, a.second.param2);
     },
     {{3, {0, 0x10, 2}}}, "false 2 | 4294967295 255 255"},
    {"1C00 a failed request is code 1", 0x1C00, {},
     [](const F& f) {
         std::uint32_t v = 7;
         const bool ok = as<IFeature1C00PersistentRemappableAction>(f)->GetValue(v);
         return outcome(ok) + " | " + fields(v);
     },
     {{0, {}}}, "false 1 | 0"},
    {"1C00 SetAction", 0x1C00, {{}},
     [](const F& f) { return outcome(as<IFeature1C00PersistentRemappableAction>(f)->SetAction(0x0102, 3, 4, 0x0506, 7)); },
     {{4, {1, 2, 3, 4, 5, 6, 7}}}, "true"},

    // ---- 0x1E00, 0x1F1F, 0x1F20
    {"1E00 GetEnabled reads only 1 as enabled", 0x1E00, {{2, 0, 0}},
     [](const F& f) {
         bool e = true;
         const bool ok = as<IFeature1E00EnableHiddenFeatures>(f)->GetEnabled(e);
         return outcome(ok, e);
     },
     {{0, {}}}, "true 0"},
    {"1E00 SetEnabled", 0x1E00, {{}},
     [](const F& f) { return outcome(as<IFeature1E00EnableHiddenFeatures>(f)->SetEnabled(1)); }, {{1, {1}}}, "true"},
    {"1F1F GetCount is an ordinary read", 0x1F1F, {{3, 0, 0}},
     [](const F& f) {
         std::uint32_t n = 0;
         const bool ok = as<IFeature1F1FFirmwareProperties>(f)->GetCount(&n);
         return outcome(ok, n);
     },
     {{0, {}}}, "true 3"},
    {"1F1F WriteValue of no property sends nothing", 0x1F1F, {},
     [](const F& f) { return outcome(as<IFeature1F1FFirmwareProperties>(f)->WriteValue(nullptr)); }, {}, "false 0"},
    {"1F20 GetDeviceState sends the low four selector bits", 0x1F20, {{0x03, 0xE8, 0x05}},
     [](const F& f) {
         IFeature1F20ADCMeasurement::DeviceState s;
         const bool ok = as<IFeature1F20ADCMeasurement>(f)->GetDeviceState(s, 0x105);
         return outcome(ok, s.value, s.stateBit1, s.stateBit0, s.stateBit2, s.stateBit3);
     },
     {{0, {5}}}, "true 1000 0 1 1 0"},
    {"1F20 selector bits 4-7 refused", 0x1F20, {},
     [](const F& f) {
         IFeature1F20ADCMeasurement::DeviceState s;
         auto adc = as<IFeature1F20ADCMeasurement>(f);
         return outcome(!adc->GetDeviceState(s, 0x10) && !adc->GetDeviceState(s, -1));
     },
     {}, "true"},
    {"1F20 SetOption only for kind 1", 0x1F20, {{}},
     [](const F& f) {
         auto adc = as<IFeature1F20ADCMeasurement>(f);
         return outcome(!adc->SetOption(2, 9) && adc->SetOption(1, 9));
     },
     {{4, {1, 9}}}, "true"},
    {"1F20 GetFlags leaves option unless bit 0", 0x1F20, {{0x02, 0x01, 0}},
     [](const F& f) {
         std::uint32_t flags = 0;
         std::uint8_t option = 7;
         const bool ok = as<IFeature1F20ADCMeasurement>(f)->GetFlags(flags, option);
         return outcome(ok, flags, option);
     },
     {{3, {}}}, "true 2 7"},

    // ---- 0x1A00, 0x1805, 0x1A01
    {"1A00 SetPresenterConfiguration", 0x1A00, {{}},
     [](const F& f) {
         return outcome(as<IFeature1A00PresenterControl>(f)->SetPresenterConfiguration(1, 2, 0x0304, 5, 0x0607, 8, 9, 10, 11));
     },
     {{2, {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11}}}, "true"},
    {"1A00 GetPresenterConfiguration of a short report", 0x1A00, {{1, 2, 3}},
     [](const F& f) {
         std::uint8_t c0 = 0;
         return outcome(as<IFeature1A00PresenterControl>(f)->GetPresenterConfiguration(&c0, nullptr, nullptr, nullptr,
                                                                                       nullptr, nullptr, nullptr, nullptr));
     },
     {{3, {0}}}, "false 2"},
    {"1A00 GetPresenterConfiguration of 9 bytes leaves config9", 0x1A00, {{1, 0, 2, 3, 0, 4, 5, 6, 7}},
     [](const F& f) {
         std::uint8_t c0 = 0, c3 = 0, c8 = 0, c9 = 99;
         unsigned short c1 = 0, c4 = 0;
         const bool ok = as<IFeature1A00PresenterControl>(f)->GetPresenterConfiguration(&c0, &c1, &c3, &c4, nullptr,
                                                                                        nullptr, &c8, &c9);
         return outcome(ok, c0, c1, c3, c4, c8, c9);
     },
     {{3, {0}}}, "true 1 2 3 4 7 99"},
    {"1805 SetOOBState waits and reports nothing", 0x1805, {{}},
     [](const F& f) {
         as<IFeature1805OOBState>(f)->SetOOBState();
         return done();
     },
     {{0, {}}}, "done 0"},
    {"1A01 Set3DSensorConfiguration needs a long reply", 0x1A01, {{}},
     [](const F& f) { return outcome(as<IFeature1A013DSensor>(f)->Set3DSensorConfiguration(1, 2, 0x0304, 5, 6, 0x0708, 0x090A, 0x0B0C)); },
     {{0, {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12}}}, "false 2"},
    {"1A01 Get3DSensorConfiguration", 0x1A01, {{1, 0, 2, 3, 4, 0, 5, 0, 6, 0, 7}},
     [](const F& f) {
         std::uint8_t s0 = 0, s3 = 0, s4 = 0;
         unsigned short s1 = 0, s5 = 0, s7 = 0, s9 = 0;
         const bool ok = as<IFeature1A013DSensor>(f)->Get3DSensorConfiguration(&s0, &s1, &s3, &s4, &s5, &s7, &s9);
         return outcome(ok, s0, s1, s3, s4, s5, s7, s9);
     },
     {{1, {0}}}, "true 1 2 3 4 5 6 7"},
});

} // namespace
} // namespace devio::test
