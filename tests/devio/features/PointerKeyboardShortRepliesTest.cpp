// Replies of every length that matters (one short of the minimum, the minimum, a short report's
// 3 bytes, a long report's 16) to the reads of the pointer, keyboard and gesture features.
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
#include "features/IFeature9001TestPMW3816.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <set>

namespace devio::test {
namespace {

using F = std::shared_ptr<IFeature>;

enum class Rule {
    Strict,      // shorter than the minimum: code 2
    Padded,      // any reply the base accepts
    QuietBelow9, // 0x2240's block: code 2 below the minimum, then false with no error below 9
};

struct ShortRow {
    const char* name;
    std::uint16_t feature;
    std::function<bool(const F&)> call;
    std::size_t minimum;
    Rule rule;
};

std::string expected(const ShortRow& row, std::size_t length)
{
    // A short report always carries 3 payload bytes: fewer read as zeros.
    length = std::max<std::size_t>(length, 3);
    switch (row.rule) {
    case Rule::Strict:
        return length < row.minimum ? "false 2" : "true";
    case Rule::Padded:
        return "true";
    case Rule::QuietBelow9:
        return length < row.minimum ? "false 2" : length < 9 ? "false 0" : "true";
    }
    return "";
}

template <class I, class Fn>
std::function<bool(const F&)> on(Fn fn)
{
    return [fn](const F& f) { return fn(*as<I>(f)); };
}

TEST(PointerKeyboardShortReplies, EveryReadAtTheLengthsThatMatter)
{
    std::uint32_t u32 = 0;
    std::uint16_t u16 = 0;
    unsigned short us = 0;
    std::uint8_t u8 = 0;
    bool b = false;
    std::vector<Byte> bytes;
    std::vector<unsigned short> list;
    const std::vector<ShortRow> rows = {
        {"2005 get", 0x2005, on<IFeature2005ButtonSwapCancel>([&](auto& f) { return f.GetButtonSwapCancel(&b); }), 1,
         Rule::Strict},
        {"2006 read", 0x2006,
         on<IFeature2006PointerAxesOrientation>([&](auto& f) { return f.ReadPointerAxesOrientation(&us); }), 2,
         Rule::Strict},
        {"2110 state", 0x2110, on<IFeature2110Sprocklin>([&](auto& f) { return f.GetSprocklinState(&u32, &u8); }), 2,
         Rule::Strict},
        {"2111 capabilities", 0x2111,
         on<IFeature2111SprocklinWithTunableTorque>(
             [&](auto& f) { return f.GetSprocklinCapabilities(&b, &u8, &u8, &u8); }),
         4, Rule::Strict},
        {"2111 state", 0x2111,
         on<IFeature2111SprocklinWithTunableTorque>([&](auto& f) { return f.GetSprocklinState(&u32, &u8, &u8); }), 3,
         Rule::Strict},
        {"2121 mode", 0x2121, on<IFeature2121HiResWheel>([&](auto& f) { return f.GetWheelMode(&b, &b, &u32, &u32); }),
         3, Rule::Strict},
        {"2121 analytics", 0x2121, on<IFeature2121HiResWheel>([&](auto& f) { return f.GetAnalyticsData(&bytes); }), 16,
         Rule::Strict},
        {"2130 mode", 0x2130, on<IFeature2130RatchetWheel>([&](auto& f) { return f.GetRatchetWheelMode(&us); }), 0,
         Rule::Padded},
        {"2150 information", 0x2150,
         on<IFeature2150Thumbwheel>(
             [&](auto& f) { return f.GetThumbwheelInfo(&us, &us, &b, &b, &b, &b, &b, &us); }),
         8, Rule::Strict},
        {"2201 resolution", 0x2201, on<IFeature2201AdjustableDPI>([&](auto& f) { return f.GetSensorDpi(us, 0); }), 3,
         Rule::Strict},
        {"2201 list", 0x2201,
         on<IFeature2201AdjustableDPI>([&](auto& f) { return f.GetSensorDpiList(list, u32, 0); }), 5, Rule::Strict},
        {"2201 second resolution", 0x2201,
         on<IFeature2201AdjustableDPI>([&](auto& f) { return f.GetSensorSecondDpi(us, 0); }), 0, Rule::Padded},
        {"2205 scaling", 0x2205, on<IFeature2205PointerMotionScaling>([&](auto& f) { return f.GetMotionScaling(&u32); }),
         2, Rule::Strict},
        {"2240 information", 0x2240, on<IFeature2240SurfaceTuning>([&](auto& f) {
             std::uint8_t block[9];
             return f.GetSurfaceTuningInfo(block);
         }),
         2, Rule::QuietBelow9},
        {"2250 counters", 0x2250,
         on<IFeature2250ActivityTracking>([&](auto& f) { return f.FetchData(&u32, &u32, &u32, &u32); }), 16,
         Rule::Strict},
        {"40A2 read", 0x40A2, on<IFeature40A2FnInversion>([&](auto& f) { return f.GetFnInversion(&b, &b); }), 2,
         Rule::Strict},
        {"40A3 read", 0x40A3, on<IFeature40A3FnInversion>([&](auto& f) { return f.GetFnInversion(u8, &b, &b, &u32); }),
         4, Rule::Strict},
        {"4521 capabilities", 0x4521,
         on<IFeature4521DisableKeys>([&](auto& f) { return f.GetCapabilities(&b, &b, &b, &b, &b); }), 2, Rule::Strict},
        {"4531 summary", 0x4531,
         on<IFeature4531MultiPlatform>([&](auto& f) { return f.GetPlatformInfo(&u32, &u16, &u16, &u16, &u16, &u16); }),
         7, Rule::Strict},
        {"4531 record", 0x4531, on<IFeature4531MultiPlatform>([&](auto& f) { return f.GetPlatformRecord(1, &bytes); }),
         16, Rule::Strict},
        {"4531 state", 0x4531,
         on<IFeature4531MultiPlatform>(
             [&](auto& f) { return f.GetPlatformState(1, &u16, &u16, &u16, &u16, &u16, &u16); }),
         6, Rule::Strict},
        {"4600 mode", 0x4600, on<IFeature4600Crown>([&](auto& f) {
             IFeature4600Crown::CrownMode m;
             return f.GetMode(m);
         }),
         0, Rule::Padded},
        {"6010 flags", 0x6010, on<IFeature6010Gestures>([&](auto& f) {
             bool a[8], c[8], d[8], e[8];
             return f.GetGestureFlags(a, c, d, e);
         }),
         4, Rule::Strict},
        {"6100 description", 0x6100, on<IFeature6100TouchPadRawXY>([&](auto& f) {
             IFeature6100TouchPadRawXY::TouchPadInfo info;
             return f.GetTouchPadInfo(&info);
         }),
         16, Rule::Strict},
        {"6500 information", 0x6500, on<IFeature6500Gestures>([&](auto& f) {
             int x = 0, y = 0;
             return f.GetInfo(0, &x, &y, &u32);
         }),
         5, Rule::Strict},
        {"6500 data", 0x6500, on<IFeature6500Gestures>([&](auto& f) {
             std::vector<Byte> data(12);
             return f.GetData(1, 2, &data);
         }),
         4, Rule::Strict},
        {"9001 register", 0x9001, on<IFeature9001TestPMW3816>([&](auto& f) { return f.ReadRegister(1, &u8); }), 1,
         Rule::Strict},
    };
    for (const ShortRow& row : rows) {
        std::set<std::size_t> lengths{row.minimum, 3, 16};
        if (row.minimum > 0)
            lengths.insert(row.minimum - 1);
        for (std::size_t length : lengths) {
            SCOPED_TRACE(std::string(row.name) + ", " + std::to_string(length) + " bytes");
            GoldenRow golden;
            golden.feature = row.feature;
            golden.call = [&row](const F& f) { return outcome(row.call(f)); };
            const GoldenRun run = run_golden(golden, {std::vector<Byte>(length, 0)});
            EXPECT_EQ(run.result, expected(row, length));
            EXPECT_EQ(run.log.size(), 1u);
        }
    }
}

} // namespace
} // namespace devio::test
