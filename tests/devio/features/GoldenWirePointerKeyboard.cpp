// Golden wire rows of the pointer, keyboard and gesture features.
#include "GoldenWire.h"

#include "features/IFeature2005ButtonSwapCancel.h"
#include "features/IFeature2006PointerAxesOrientation.h"
#include "features/IFeature2110Sprocklin.h"
#include "features/IFeature2111SprocklinWithTunableTorque.h"
#include "features/IFeature2121HiResWheel.h"
#include "features/IFeature2130RatchetWheel.h"
#include "features/IFeature2150Thumbwheel.h"
#include "features/IFeature2201AdjustableDPI.h"
#include "features/IFeature2205PointerMotionScaling.h"
#include "features/IFeature2230AngleSnapping.h"
#include "features/IFeature2240SurfaceTuning.h"
#include "features/IFeature2250ActivityTracking.h"
#include "features/IFeature2400HybridTracking.h"
#include "features/IFeature40A0FnInversion.h"
#include "features/IFeature40A2FnInversion.h"
#include "features/IFeature40A3FnInversion.h"
#include "features/IFeature4220LockKeyState.h"
#include "features/IFeature4521DisableKeys.h"
#include "features/IFeature4522DKU.h"
#include "features/IFeature4530DualPlatform.h"
#include "features/IFeature4531MultiPlatform.h"
#include "features/IFeature4540KBLayout.h"
#include "features/IFeature4600Crown.h"
#include "features/IFeature6010Gestures.h"
#include "features/IFeature6012Gestures.h"
#include "features/IFeature6100TouchPadRawXY.h"
#include "features/IFeature6500Gestures.h"
#include "features/IFeature6501Gestures.h"
#include "features/IFeature9001TestPMW3816.h"

namespace devio::test {
namespace {

using Bytes = std::vector<Byte>;
using F = std::shared_ptr<IFeature>;

Bytes long16(Bytes payload)
{
    payload.resize(16, 0);
    return payload;
}

std::vector<bool> flags(const bool* values, std::size_t n) { return std::vector<bool>(values, values + n); }

const GoldenRows rows9({
    // Button swap cancel and pointer axes.
    {"2005 read", 0x2005, {{0x02, 0, 0}},
     [](const F& f) {
         bool on = false;
         return outcome(as<IFeature2005ButtonSwapCancel>(f)->GetButtonSwapCancel(&on), on);
     },
     {{0, {}}}, "true 1"},
    {"2005 write", 0x2005, {{0x01, 0, 0}},
     [](const F& f) { return outcome(as<IFeature2005ButtonSwapCancel>(f)->SetButtonSwapCancel(1)); }, {{1, {0x01}}},
     "true"},
    {"2006 read", 0x2006, {{0x80, 0x01, 0}},
     [](const F& f) {
         unsigned short o = 0;
         return outcome(as<IFeature2006PointerAxesOrientation>(f)->ReadPointerAxesOrientation(&o), o);
     },
     {{0, {}}}, "true 32769"},
    {"2006 write -2", 0x2006, {{0x12, 0x34, 0}},
     [](const F& f) {
         unsigned short r = 0;
         return outcome(as<IFeature2006PointerAxesOrientation>(f)->WritePointerAxesOrientation(-2, &r), r);
     },
     {{1, {0xFF, 0xFE}}}, "true 4660"},

    // Wheels.
    {"2110 state", 0x2110, {{0x02, 0x1E, 0}},
     [](const F& f) {
         std::uint32_t v0 = 0;
         std::uint8_t v1 = 0;
         return outcome(as<IFeature2110Sprocklin>(f)->GetSprocklinState(&v0, &v1), v0, v1);
     },
     {{0, {}}}, "true 2 30"},
    {"2111 capabilities ignore bits 1-7", 0x2111, {{0xFE, 1, 2, 3}},
     [](const F& f) {
         bool flag = true;
         std::uint8_t a = 0, b = 0, c = 0;
         return outcome(as<IFeature2111SprocklinWithTunableTorque>(f)->GetSprocklinCapabilities(&flag, &a, &b, &c),
                        flag, a, b, c);
     },
     {{0, {}}}, "true 0 1 2 3"},
    {"2111 set returns the device's state", 0x2111, {{4, 5, 6}},
     [](const F& f) {
         std::uint32_t v0 = 0;
         std::uint8_t v1 = 0, v2 = 0;
         return outcome(as<IFeature2111SprocklinWithTunableTorque>(f)->SetSprocklinState(1, 2, 3, &v0, &v1, &v2), v0,
                        v1, v2);
     },
     {{2, {1, 2, 3}}}, "true 4 5 6"},
    {"2121 capability from a short reply", 0x2121, {{0x07, 0x1F, 0x03}},
     [](const F& f) {
         std::uint32_t c0 = 0, c2 = 0, c3 = 9;
         bool a = false, b = false, c = false, d = false, e = false;
         return outcome(as<IFeature2121HiResWheel>(f)->GetWheelCapability(&c0, &a, &b, &c, &d, &e, &c2, &c3), c0, a,
                        b, c, d, e, c2, c3);
     },
     {{0, {}, 1}}, "true 7 1 1 1 1 1 3 0"},
    {"2121 short mode write clears C and D", 0x2121, {{0x0F, 5, 6}},
     [](const F& f) {
         bool a = false, b = false;
         std::uint32_t v1 = 0, v2 = 0;
         return outcome(as<IFeature2121HiResWheel>(f)->SetWheelMode(true, true, 5, 6, &a, &b, &v1, &v2), a, b, v1, v2);
     },
     {{2, {0x03, 5, 6}}}, "true 1 1 5 6"},
    {"2130 mode", 0x2130, {{0x05, 0, 0}},
     [](const F& f) {
         unsigned short m = 0;
         return outcome(as<IFeature2130RatchetWheel>(f)->GetRatchetWheelMode(&m), m);
     },
     {{0, {}}}, "true 5"},
    {"2150 status with mode 2 fails quietly", 0x2150, {{0x02, 0x07, 0}},
     [](const F& f) {
         std::uint8_t mode = 9;
         bool s0 = false;
         return outcome(as<IFeature2150Thumbwheel>(f)->GetThumbwheelStatus(&mode, &s0, nullptr, nullptr), mode, s0);
     },
     {{1, {}}}, "false 0"},
    {"2150 status without the mode", 0x2150, {{0x02, 0x07, 0}},
     [](const F& f) {
         bool s0 = false, s1 = false, s2 = false;
         return outcome(as<IFeature2150Thumbwheel>(f)->GetThumbwheelStatus(nullptr, &s0, &s1, &s2), s0, s1, s2);
     },
     {{1, {}}}, "true 1 1 1"},

    // Resolution, scaling, snapping.
    {"2201 list", 0x2201, {long16({0x01, 0x03, 0x20, 0x00, 0x64, 0xE0, 0x32})},
     [](const F& f) {
         std::vector<unsigned short> list;
         std::uint32_t step = 0;
         return outcome(as<IFeature2201AdjustableDPI>(f)->GetSensorDpiList(list, step, 1), list, step);
     },
     {{1, {0x01}, 1}}, "true [800,100] 50"},
    {"2201 clamped to the list's top", 0x2201, {long16({0x00, 0x01, 0x90, 0x0F, 0xA0}), {0, 0, 0}},
     [](const F& f) { return outcome(as<IFeature2201AdjustableDPI>(f)->SetSensorDpiClamped(9000, 0)); },
     {{1, {0x00}, 1}, {3, {0x00, 0x0F, 0xA0}}}, "true"},
    {"2201 clamp without a list", 0x2201, {long16({0x00})},
     [](const F& f) { return outcome(as<IFeature2201AdjustableDPI>(f)->SetSensorDpiClamped(800, 0)); },
     {{1, {0x00}, 1}}, "false 46"},
    {"2201 second resolution from a short reply", 0x2201, {{0x00, 0x01, 0x02}},
     [](const F& f) {
         unsigned short dpi = 5;
         return outcome(as<IFeature2201AdjustableDPI>(f)->GetSensorSecondDpi(dpi, 2), dpi);
     },
     {{2, {0x02}, 1}}, "true 0"},
    {"2205 write keeps 16 bits", 0x2205, {{0, 0, 0}},
     [](const F& f) { return outcome(as<IFeature2205PointerMotionScaling>(f)->SetMotionScaling(0x12345)); },
     {{1, {0x23, 0x45}}}, "true"},
    {"2230 only 1 reads as on", 0x2230, {{0x02, 0, 0}},
     [](const F& f) {
         bool on = true;
         return outcome(as<IFeature2230AngleSnapping>(f)->GetAngleSnapping(on), on);
     },
     {{0, {}}}, "true 0"},

    // Surface tuning and tracking.
    {"2240 info in a short report", 0x2240, {{1, 2, 3}},
     [](const F& f) {
         std::uint8_t block[9] = {};
         return outcome(as<IFeature2240SurfaceTuning>(f)->GetSurfaceTuningInfo(block));
     },
     {{0, {}}}, "false 0"},
    {"2240 setting", 0x2240, {{0, 0, 0}},
     [](const F& f) {
         const std::uint8_t setting[3] = {0x10, 0x20, 0x30};
         return outcome(as<IFeature2240SurfaceTuning>(f)->SetSurfaceTuning(setting));
     },
     {{1, {0x10, 0x20, 0x30, 0x01}}}, "true"},
    {"2400 unknown state", 0x2400, {{0x02, 0, 0}},
     [](const F& f) {
         std::uint32_t state = 7;
         return outcome(as<IFeature2400HybridTracking>(f)->GetHybridState(&state), state);
     },
     {{2, {}}}, "false 0"},
    {"2400 mode set", 0x2400, {{0, 0, 0}},
     [](const F& f) { return outcome(as<IFeature2400HybridTracking>(f)->SetHybridMode(4)); }, {{1, {0x04}}}, "true"},
    {"2250 mode", 0x2250, {{0x00, 0x03, 0x00}},
     [](const F& f) {
         bool on = true, second = false;
         return outcome(as<IFeature2250ActivityTracking>(f)->GetMode(&on, &second), on, second);
     },
     {{0, {}}}, "true 0 1"},
    {"2250 counters", 0x2250, {long16({0, 0, 1, 0, 0xFF, 0xFF, 0xFF, 0xFF})},
     [](const F& f) {
         std::uint32_t a = 0, b = 0, c = 0, d = 0;
         return outcome(as<IFeature2250ActivityTracking>(f)->FetchData(&a, &b, &c, &d), a, b, c, d);
     },
     {{2, {}}}, "true 256 4294967295 0 0"},

    // Fn inversion.
    {"40A0 low nibble", 0x40A0, {{0x11, 0, 0}},
     [](const F& f) {
         bool on = false;
         return outcome(as<IFeature40A0FnInversion>(f)->GetFnInversion(&on), on);
     },
     {{0, {}}}, "true 1"},
    {"40A2 read", 0x40A2, {{0x01, 0x00, 0}},
     [](const F& f) {
         bool on = false, second = true;
         return outcome(as<IFeature40A2FnInversion>(f)->GetFnInversion(&on, &second), on, second);
     },
     {{0, {0x00}}}, "true 1 0"},
    {"40A2 write", 0x40A2, {{0x01, 0x00, 0}},
     [](const F& f) { return outcome(as<IFeature40A2FnInversion>(f)->SetFnInversion(true)); }, {{1, {0x01}}}, "true"},
    {"40A3 selector echoed back", 0x40A3, {{0x07, 0x01, 0x00, 0x09}},
     [](const F& f) {
         std::uint8_t selector = 5;
         bool a = false, b = true;
         return outcome(as<IFeature40A3FnInversion>(f)->GetFnInversion(selector, &a, &b, nullptr), selector, a, b);
     },
     {{0, {0x05}}}, "true 7 1 0"},
    {"40A3 short reply", 0x40A3, {{0, 0, 0}},
     [](const F& f) { return outcome(as<IFeature40A3FnInversion>(f)->SetFnInversion(1, 2)); }, {{1, {0x01, 0x02}}},
     "false 2"},

    // Lock keys and key disabling.
    {"4220 state without an output", 0x4220, {{0x03, 0, 0}},
     [](const F& f) { return outcome(as<IFeature4220LockKeyState>(f)->GetLockKeyState(nullptr)); }, {{0, {}}}, "true"},
    {"4521 flags", 0x4521, {{0xF5, 0, 0}},
     [](const F& f) {
         bool a = false, b = true, c = false, d = true, e = false;
         return outcome(as<IFeature4521DisableKeys>(f)->GetDisabledKeys(&a, &b, &c, &d, &e), a, b, c, d, e);
     },
     {{1, {0x00}}}, "true 1 0 1 0 1"},
    {"4521 capabilities bypass", 0x4521, {{0x1F, 0, 0}},
     [](const F& f) {
         bool a = false, b = false, c = false, d = false, e = false;
         return outcome(as<IFeature4521DisableKeys>(f)->GetCapabilities(&a, &b, &c, &d, &e), a, b, c, d, e);
     },
     {{0, {0x00}, 1}}, "true 1 1 1 1 1"},
    {"4521 first and fifth", 0x4521, {{0, 0, 0}},
     [](const F& f) { return outcome(as<IFeature4521DisableKeys>(f)->SetDisabledKeys(true, false, false, false, true)); },
     {{2, {0x11}}}, "true"},
    {"4522 sixteen usages in two requests", 0x4522, {{0, 0, 0}, {0, 0, 0}},
     [](const F& f) {
         std::vector<std::uint32_t> usages;
         for (std::uint32_t u = 1; u <= 15; ++u)
             usages.push_back(u);
         usages.push_back(0x1E2B);
         return outcome(as<IFeature4522DKU>(f)->DisableKeys(usages));
     },
     {{1, {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 0}}, {1, {0x2B, 0x00}}}, "true"},
    {"4522 a failed chunk stops the rest", 0x4522, {{0, 0, 0}},
     [](const F& f) { return outcome(as<IFeature4522DKU>(f)->DisableKeys(std::vector<std::uint32_t>(31, 0x04))); },
     {{1, {4, 4, 4, 4, 4, 4, 4, 4, 4, 4, 4, 4, 4, 4, 4, 0}}, {1, {4, 4, 4, 4, 4, 4, 4, 4, 4, 4, 4, 4, 4, 4, 4, 0}}},
     "false 4"},
    {"4522 enable up to the count", 0x4522, {{0x04, 0, 0}, {0, 0, 0}},
     [](const F& f) {
         return outcome(as<IFeature4522DKU>(f)->EnableKeys({1, 2, 3, 4, 5, 6, 7, 8, 9, 10}));
     },
     {{0, {}}, {2, {1, 2, 3, 4, 0}}}, "true"},
    {"4522 more than a report holds", 0x4522, {{0x14, 0, 0}},
     [](const F& f) {
         return outcome(as<IFeature4522DKU>(f)->EnableKeys(std::vector<std::uint32_t>(16, 0x04)));
     },
     {{0, {}}}, "false 46"},

    // Platforms, layout, crown.
    {"4530 platform", 0x4530, {{0x02, 0, 0}},
     [](const F& f) {
         std::uint16_t p = 0;
         return outcome(as<IFeature4530DualPlatform>(f)->GetPlatform(&p), p);
     },
     {{0, {}}}, "true 2"},
    {"4531 signed first value", 0x4531, {{0x80, 0x01, 2, 3, 1, 0, 1}},
     [](const F& f) {
         std::uint32_t first = 0;
         std::uint16_t a = 0, b = 0, c = 0, d = 0, e = 0;
         return outcome(as<IFeature4531MultiPlatform>(f)->GetPlatformInfo(&first, &a, &b, &c, &d, &e), first, a, b, c,
                        d, e);
     },
     {{0, {}}}, "true 4294934529 2 3 1 0 1"},
    {"4531 record in a short report", 0x4531, {{1, 2, 3}},
     [](const F& f) {
         std::vector<Byte> record{9};
         return outcome(as<IFeature4531MultiPlatform>(f)->GetPlatformRecord(4, &record), record);
     },
     {{1, {0x04}}}, "false 2"},
    {"4540 layout bypass", 0x4540, {{0x07, 0, 0}},
     [](const F& f) {
         std::uint32_t layout = 0;
         return outcome(as<IFeature4540KBLayout>(f)->GetKeyboardLayout(layout), layout);
     },
     {{0, {}, 1}}, "true 7"},
    {"4600 capabilities", 0x4600, {{0x21, 0x09, 0x01, 0x2C, 0x00, 0x10}},
     [](const F& f) {
         IFeature4600Crown::CrownCapabilities c;
         const bool ok = as<IFeature4600Crown>(f)->GetCapabilities(c);
         return outcome(ok, c.flag1, c.flag2, c.flag6, c.flag7, c.flag9, c.flag10, c.firstValue, c.secondValue);
     },
     {{0, {}, 1}}, "true 1 0 1 1 0 1 300 16"},
    {"4600 mode write takes the reply", 0x4600, {{0x01, 0x02, 0x03}},
     [](const F& f) {
         IFeature4600Crown::CrownMode m;
         m.third = 0x1FF;
         const bool ok = as<IFeature4600Crown>(f)->SetMode(m);
         return outcome(ok, m.first, m.second, m.third, m.fourth, m.fifth);
     },
     {{2, {0x00, 0x00, 0xFF, 0x00, 0x00}}}, "true 1 2 3 0 0"},

    // Sensor test.
    {"9001 function 4 with -1", 0x9001, {{0, 0, 0}},
     [](const F& f) { return outcome(as<IFeature9001TestPMW3816>(f)->SendFunction4(-1)); }, {{4, {0xFF, 0xFF}}},
     "true"},
    {"9001 register", 0x9001, {{0x5A, 0, 0}},
     [](const F& f) {
         std::uint8_t v = 0;
         return outcome(as<IFeature9001TestPMW3816>(f)->ReadRegister(0x12, &v), v);
     },
     {{0, {0x12}}}, "true 90"},

    // Touch pads.
    {"6010 flags", 0x6010, {{0x80, 0x01, 0x00, 0xFF}},
     [](const F& f) {
         bool a[8] = {}, b[8] = {}, c[8] = {}, d[8] = {};
         const bool ok = as<IFeature6010Gestures>(f)->GetGestureFlags(a, b, c, d);
         return outcome(ok, flags(a, 8), flags(b, 8), flags(c, 8), flags(d, 8));
     },
     {{0, {0x00}}}, "true [1,0,0,0,0,0,0,0] [0,0,0,0,0,0,0,1] [0,0,0,0,0,0,0,0] [1,1,1,1,1,1,1,1]"},
    {"6012 set", 0x6012, {{0, 0, 0, 0}},
     [](const F& f) {
         const bool v[4] = {true, false, true, true};
         return outcome(as<IFeature6012Gestures>(f)->SetGestureFlags(v));
     },
     {{1, {0x0B}}}, "true"},
    {"6100 info of 15 bytes", 0x6100, {Bytes(15, 1)},
     [](const F& f) {
         IFeature6100TouchPadRawXY::TouchPadInfo info;
         return outcome(as<IFeature6100TouchPadRawXY>(f)->GetTouchPadInfo(&info));
     },
     {{0, {}}}, "false 2"},

    // Gestures.
    {"6500 info", 0x6500, {{0xFF, 0xFE, 0x00, 0x01, 0x05}},
     [](const F& f) {
         int a = 0, b = 0;
         std::uint32_t c = 0;
         return outcome(as<IFeature6500Gestures>(f)->GetInfo(3, &a, &b, &c), a, b, c);
     },
     {{1, {0x03, 0x00}, 1}}, "true -2 1 5"},
    {"6500 data into a small vector", 0x6500, {long16({0, 0, 0, 0, 1, 2, 3, 4, 5})},
     [](const F& f) {
         std::vector<Byte> data(3, 9);
         return outcome(as<IFeature6500Gestures>(f)->GetData(0x7101, 2, &data), data);
     },
     {{4, {0x71, 0x01, 0x00, 0x02}}}, "true [1,2,3]"},
    {"6501 enable bit 9", 0x6501,
     {long16({0x81, 1, 0x81, 2, 0x81, 3, 0x81, 4, 0x81, 5, 0x81, 6, 0x81, 7, 0x81, 8}),
      long16({0x81, 9, 0x81, 10, 0x01}), {0, 0, 0}},
     [](const F& f) { return outcome(as<IFeature6501Gestures>(f)->SetGestureEnabled(9, true, 0)); },
     {{0, {0x00, 0x00}, 1}, {0, {0x00, 0x08}, 1}, {2, {0x01, 0x01, 0x02, 0x02}}}, "true"},
    {"6501 table reply starting with 0", 0x6501, {long16({0x00})},
     [](const F& f) { return outcome(as<IFeature6501Gestures>(f)->GetGesture(0, nullptr)); }, {{0, {0x00, 0x00}, 1}},
     "false 2"},
});

} // namespace
} // namespace devio::test
