// Golden wire rows of the device-information and settings features.
#include "GoldenWire.h"

#include "features/IFeature1001BatteryVoltage.h"
#include "features/IFeature1010ChargingControl.h"

namespace devio::test {
namespace {

using B = std::vector<Byte>;
using F = std::shared_ptr<IFeature>;

const GoldenRows rows8({
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
});

} // namespace
} // namespace devio::test
