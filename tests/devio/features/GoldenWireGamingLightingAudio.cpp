// Golden wire rows of the gaming, lighting and audio features.
#include "GoldenWire.h"

#include "features/IFeature8010Vantor.h"
#include "features/IFeature8020Mkeys.h"
#include "features/IFeature8030MR.h"
#include "features/IFeature8040BrightnessControl.h"
#include "features/IFeature8060ReportRate.h"
#include "features/IFeature8070ColorLEDEffects.h"
#include "features/IFeature8071RGBEffects.h"
#include "features/IFeature807aRpmIndicator.h"
#include "features/IFeature8080PerKeyLighting.h"
#include "features/IFeature8081PerKeyLighting.h"
#include "features/IFeature8090ModeStatus.h"
#include "features/IFeature80A3LegacyAxisResponseCurve.h"
#include "features/IFeature80D0CombinedPedals.h"
#include "features/IFeature8100OnboardProfiles.h"
#include "features/IFeature8110MouseButtonSpy.h"
#include "features/IFeature8111LatencyMonitoring.h"
#include "features/IFeature8120GamingAttachments.h"
#include "features/IFeature8123ForceFeedback.h"
#include "features/IFeature8127DualClutch.h"
#include "features/IFeature8300Sidetone.h"
#include "features/IFeature8310Equalizer.h"
#include "features/IFeature8320JackDetection.h"
#include "features/IFeature8330MicrophonePolarPattern.h"
#include "features/IFeature8350MicrophoneBlendAdjust.h"
#include "features/IFeature8360MicrophoneHeadphoneAdjust.h"
#include "features/IFeature8370MicrophoneGainAdjust.h"

namespace devio::test {
namespace {

using B = std::vector<Byte>;
using F = std::shared_ptr<IFeature>;

B zeros(std::size_t n) { return B(n, 0); }

using Attachments = std::vector<IFeature8120GamingAttachments::AttachmentId>;
std::vector<long long> numbers(const Attachments& list) { return {list.begin(), list.end()}; }

const GoldenRows rows10({
    // ---- programmable keys
    {"8010 GetButtonCount asks with kind 1", 0x8010, {{0x05}},
     [](const F& f) {
         std::uint32_t n = 0;
         const bool ok = as<IFeature8010Vantor>(f)->GetButtonCount(n);
         return outcome(ok, n);
     },
     {{0, {}, 1}}, "true 5"},
    {"8010 GetButtonWord is big-endian", 0x8010, {{0x12, 0x34}},
     [](const F& f) {
         std::uint32_t v = 0;
         const bool ok = as<IFeature8010Vantor>(f)->GetButtonWord(v);
         return outcome(ok, v);
     },
     {{1, {}, 1}}, "true 4660"},
    {"8010 SetModeByte", 0x8010, {{}}, [](const F& f) { return outcome(as<IFeature8010Vantor>(f)->SetModeByte(7)); },
     {{2, {0x07}}}, "true"},
    {"8020 SetSelectedKey 3 sends bit 2", 0x8020, {{}},
     [](const F& f) { return outcome(as<IFeature8020Mkeys>(f)->SetSelectedKey(3)); }, {{1, {0x04}}}, "true"},
    {"8020 SetSelectedKey 5 sends nothing", 0x8020, {},
     [](const F& f) { return outcome(as<IFeature8020Mkeys>(f)->SetSelectedKey(5)); }, {}, "false 0"},
    {"8030 SetMRState", 0x8030, {{}}, [](const F& f) { return outcome(as<IFeature8030MR>(f)->SetMRState(9)); },
     {{0, {0x09}}}, "true"},

    // ---- brightness and report rate
    {"8040 GetBrightnessInfo", 0x8040, {{0x01, 0x2C, 3, 4, 5, 6}},
     [](const F& f) {
         IFeature8040BrightnessControl::BrightnessInfo i;
         const bool ok = as<IFeature8040BrightnessControl>(f)->GetBrightnessInfo(i);
         return outcome(ok, i.infoWord, i.infoByte2, i.infoByte3);
     },
     {{0, {}}}, "true 300 3 4"},
    {"8040 GetBrightnessInfo on five bytes", 0x8040, {{1, 2, 3, 4, 5}},
     [](const F& f) {
         IFeature8040BrightnessControl::BrightnessInfo i;
         return outcome(as<IFeature8040BrightnessControl>(f)->GetBrightnessInfo(i));
     },
     {{0, {}}}, "false 2"},
    {"8040 SetBrightness -1", 0x8040, {{}},
     [](const F& f) { return outcome(as<IFeature8040BrightnessControl>(f)->SetBrightness(-1)); },
     {{2, {0xFF, 0xFF}}}, "true"},
    {"8060 GetReportRate refuses 9 and keeps the output", 0x8060, {{9}},
     [](const F& f) {
         std::uint8_t rate = 4;
         const bool ok = as<IFeature8060ReportRate>(f)->GetReportRate(&rate);
         return outcome(ok) + " " + fields(rate);
     },
     {{1, {}}}, "false 0 4"},
    {"8060 SetReportRate 0 sends nothing", 0x8060, {},
     [](const F& f) { return outcome(as<IFeature8060ReportRate>(f)->SetReportRate(0)); }, {}, "false 0"},
    {"8060 SetReportRate 8", 0x8060, {{}},
     [](const F& f) { return outcome(as<IFeature8060ReportRate>(f)->SetReportRate(8)); }, {{2, {8}}}, "true"},

    // ---- colour LED effects and RGB effects
    {"8070 GetZoneEffectInfo", 0x8070, {{1, 2, 0x00, 0x05, 0x00, 0x10, 0x00, 0x20}},
     [](const F& f) {
         ZoneEffectInfo i;
         const bool ok = as<IFeature8070ColorLEDEffects>(f)->GetZoneEffectInfo(1, 2, i);
         return outcome(ok, i.effectId, i.effectWord1, i.effectWord2);
     },
     {{2, {1, 2, 0, 0}}}, "true 5 16 32"},
    {"8070 GetZoneEffect loads the table, then copies only bytes present", 0x8070,
     {{1, 0, 0, 0, 0}, {0, 0x00, 0x0A, 0, 0}, {0x00, 0x07, 0x09}},
     [](const F& f) {
         std::uint32_t effect = 0;
         B params{1, 2};
         const bool ok = as<IFeature8070ColorLEDEffects>(f)->GetZoneEffect(0, effect, params, 5);
         return outcome(ok, effect, params);
     },
     {{0, {}}, {1, {0, 0}}, {14, {0, 5}}}, "true 7 [9]"},
    {"8070 effect parameters beyond one long report", 0x8070, {},
     [](const F& f) { return outcome(as<IFeature8070ColorLEDEffects>(f)->SetZoneEffectByIndex(0, 1, B(15, 1), false)); },
     {}, "false 46"},
    {"8071 GetInfo", 0x8071, {{0xFF, 0xFF, 2, 0x01, 0x02, 0x03, 0x04}},
     [](const F& f) {
         std::uint32_t n = 0, a = 0, b = 0;
         const bool ok = as<IFeature8071RGBEffects>(f)->GetInfo(n, a, b);
         return outcome(ok, n, a, b);
     },
     {{0, {0xFF, 0xFF, 0x00}}}, "true 2 258 772"},
    {"8071 GetInfo on a short reply reads missing bytes as 0", 0x8071, {{0xFF, 0xFF, 2}},
     [](const F& f) {
         std::uint32_t n = 9, a = 9, b = 9;
         const bool ok = as<IFeature8071RGBEffects>(f)->GetInfo(n, a, b);
         return outcome(ok, n, a, b);
     },
     {{0, {0xFF, 0xFF, 0x00}}}, "true 2 0 0"},
    {"8071 effect parameters beyond one long report", 0x8071, {},
     [](const F& f) { return outcome(as<IFeature8071RGBEffects>(f)->SetEffectByIndex(0, 1, B(15, 1))); }, {},
     "false 46"},
    {"8071 SetIndexedSetting", 0x8071, {{}},
     [](const F& f) { return outcome(as<IFeature8071RGBEffects>(f)->SetIndexedSetting(0x1234, 1, 2, 3)); },
     {{3, {0x01, 0x12, 0x34, 1, 2, 3}}}, "true"},
    {"8071 SetZoneWord loads the table first", 0x8071, {{0xFF, 0xFF, 1}, {0, 0xFF, 0x00, 0x0A, 0, 0}, {}},
     [](const F& f) { return outcome(as<IFeature8071RGBEffects>(f)->SetZoneWord(0, 0x1234)); },
     {{0, {0xFF, 0xFF, 0x00}}, {0, {0x00, 0xFF, 0x00}}, {6, {0x00, 0x00, 0x12, 0x34}}}, "true"},

    // ---- RPM indicator
    {"807A SetLedStates mode 3 packs bits", 0x807A, {{3, 0, 10}, {}},
     [](const F& f) {
         return outcome(as<IFeature807aRpmIndicator>(f)->SetLedStates(0, 10, {1, 0, 1, 0, 1, 0, 1, 0, 1, 0}));
     },
     {{0, {}}, {5, {0x00, 0x0A, 0x55, 0x01}}}, "true"},
    {"807A GetLedStates mode 1 gives zeros", 0x807A, {{0, 4, 0xAA}, {1, 0, 0}},
     [](const F& f) {
         std::vector<std::uint32_t> states{9};
         const bool ok = as<IFeature807aRpmIndicator>(f)->GetLedStates(0, 4, states);
         return outcome(ok, states);
     },
     {{4, {0, 4}}, {0, {}}}, "true [0,0,0,0]"},
    {"807A states beyond one long report", 0x807A, {{2, 0, 20}},
     [](const F& f) {
         return outcome(as<IFeature807aRpmIndicator>(f)->SetLedStates(0, 20, std::vector<std::uint32_t>(20, 7)));
     },
     {{0, {}}}, "false 46"},

    // ---- per-key lighting 0x8080
    {"8080 GetInfo skips byte 2", 0x8080, {{0x00, 0x03, 9, 0x00, 0x04, 0x00, 0x05}},
     [](const F& f) {
         IFeature8080PerKeyLighting::PerKeyLightingInfo i;
         const bool ok = as<IFeature8080PerKeyLighting>(f)->GetInfo(i);
         return outcome(ok, i.w0, i.w1, i.w2);
     },
     {{0, {}}}, "true 3 4 5"},
    {"8080 GetKeys of an empty set asks once", 0x8080, {{0, 0, 1, 2, 3}},
     [](const F& f) {
         std::vector<IFeature8080PerKeyLighting::KeyRecord> keys(1);
         const bool ok = as<IFeature8080PerKeyLighting>(f)->GetKeys(0x0040, keys);
         return outcome(ok, keys.size());
     },
     {{1, {0x00, 0x40}}}, "true 0"},
    {"8080 SetKeyColors", 0x8080, {{}},
     [](const F& f) {
         return outcome(as<IFeature8080PerKeyLighting>(f)->SetKeyColors(0x0102, {{1, 10, 20, 30}, {2, 11, 21, 31}}));
     },
     {{3, {0x01, 0x02, 0x00, 0x02, 1, 10, 20, 30, 2, 11, 21, 31}}}, "true"},
    {"8080 SetAllKeysToColor", 0x8080, {{}},
     [](const F& f) { return outcome(as<IFeature8080PerKeyLighting>(f)->SetAllKeysToColor(0x0001, 1, 2, 3)); },
     {{4, {0x00, 0x01, 1, 2, 3}}}, "true"},

    // ---- per-key lighting 0x8081
    {"8081 BuildFrameEndReport frames without sending", 0x8081, {},
     [](const F& f) {
         B report;
         const bool ok = as<IFeature8081PerKeyLighting>(f)->BuildFrameEndReport(report, 9, 0x1234, 0x0005);
         return outcome(ok, report);
     },
     {}, "true [17,255,7,115,9,18,52,0,5]"},
    {"8081 run answered by a short report", 0x8081, {{5, 0, 0}},
     [](const F& f) {
         return outcome(as<IFeature8081PerKeyLighting>(f)->SetConsecutiveRgbZones({5, {{1, 2, 3}, {4, 5, 6}}}));
     },
     {{2, cat({5, 1, 2, 3, 4, 5, 6}, zeros(9))}}, "false 78"},
    {"8081 one colour for no zones", 0x8081, {zeros(16)},
     [](const F& f) { return outcome(as<IFeature8081PerKeyLighting>(f)->SetRgbZonesSingleValue({1, 2, 3, {}})); },
     {{6, cat({1, 2, 3}, zeros(13))}}, "true"},
    {"8081 five zones do not fit", 0x8081, {},
     [](const F& f) {
         return outcome(as<IFeature8081PerKeyLighting>(f)->SetIndividualRgbZones(
             std::vector<IFeature8081PerKeyLighting::RgbZone>(5)));
     },
     {}, "false 46"},

    // ---- mode status, axis curve, pedals
    {"8090 SetModeStatus", 0x8090, {{}},
     [](const F& f) { return outcome(as<IFeature8090ModeStatus>(f)->SetModeStatus({1, 2, 3, 4})); },
     {{1, {1, 2, 3, 4}}}, "true"},
    {"8090 GetModeStatusB", 0x8090, {{7, 8}},
     [](const F& f) {
         IFeature8090ModeStatus::ModeStatusPair p;
         const bool ok = as<IFeature8090ModeStatus>(f)->GetModeStatusB(p);
         return outcome(ok, p.first, p.second);
     },
     {{2, {}}}, "true 7 8"},
    {"80A3 SetAxisCurve sends low bytes", 0x80A3, {{}},
     [](const F& f) {
         return outcome(as<IFeature80A3LegacyAxisResponseCurve>(f)->SetAxisCurve(2, {0x1FF, 1, 2, true}));
     },
     {{3, {2, 0xFF, 1, 2, 1}}}, "true"},
    {"80A3 GetCurveValue", 0x80A3, {{0x12, 0x34}},
     [](const F& f) {
         std::uint32_t out = 0;
         const bool ok = as<IFeature80A3LegacyAxisResponseCurve>(f)->GetCurveValue(1, 0x0102, out);
         return outcome(ok, out);
     },
     {{4, {1, 0x01, 0x02}}}, "true 4660"},
    {"80D0 GetCombinedPedals reads bit 0", 0x80D0, {{0x03}},
     [](const F& f) { return fields(as<IFeature80D0CombinedPedals>(f)->GetCombinedPedals()); }, {{0, {}}}, "1"},
    {"80D0 SetCombinedPedals", 0x80D0, {{}},
     [](const F& f) {
         as<IFeature80D0CombinedPedals>(f)->SetCombinedPedals(2);
         return fields(last_error().code);
     },
     {{1, {0x02}}}, "0"},

    // ---- onboard profiles
    {"8100 GetOnboardProfilesInfo", 0x8100, {{0, 1, 2, 3, 4, 5, 6, 0x01, 0x02, 0x1A}},
     [](const F& f) {
         IFeature8100OnboardProfiles::OnboardProfilesInfo i;
         const bool ok = as<IFeature8100OnboardProfiles>(f)->GetOnboardProfilesInfo(i);
         return outcome(ok, i.b0, i.b6, i.value16, i.flagA, i.flagB, i.field2);
     },
     {{0, {}}}, "true 0 6 258 1 1 1"},
    {"8100 SendDataBlock pads to 16", 0x8100, {{0x01, 0x02}},
     [](const F& f) {
         std::uint32_t v = 0;
         const bool ok = as<IFeature8100OnboardProfiles>(f)->SendDataBlock({1, 2, 3}, v);
         return outcome(ok, v);
     },
     {{7, cat({1, 2, 3}, zeros(13))}}, "true 258"},
    {"8100 SetThreeWords", 0x8100, {{}},
     [](const F& f) { return outcome(as<IFeature8100OnboardProfiles>(f)->SetThreeWords(1, 2, 0x0304)); },
     {{6, {0, 1, 0, 2, 3, 4}}}, "true"},

    // ---- button spy, latency monitoring
    {"8110 SetButtonTable fills with positions", 0x8110, {zeros(16)},
     [](const F& f) { return outcome(as<IFeature8110MouseButtonSpy>(f)->SetButtonTable({5, 6, 7})); },
     {{4, cat({5, 6, 7}, seq(4, 13))}}, "true"},
    {"8110 GetButtonTable", 0x8110, {seq(1, 16)},
     [](const F& f) {
         B table(20, 0);
         const bool ok = as<IFeature8110MouseButtonSpy>(f)->GetButtonTable(table);
         return outcome(ok, table);
     },
     {{3, {}}}, "true [1,2,3,4,5,6,7,8,9,10,11,12,13,14,15,16]"},
    {"8111 SetLatencyMonitoring enabled", 0x8111, {{}},
     [](const F& f) {
         return outcome(as<IFeature8111LatencyMonitoring>(f)->SetLatencyMonitoring(true, 9, {1, 2, 3, 4, 5, 0x106}));
     },
     {{1, {1, 9, 1, 2, 3, 4, 5, 6}}}, "true"},
    {"8111 disabled with no thresholds sends zeros", 0x8111, {{}},
     [](const F& f) { return outcome(as<IFeature8111LatencyMonitoring>(f)->SetLatencyMonitoring(false, 9, {})); },
     {{1, {0, 9, 0, 0, 0, 0, 0, 0}}}, "true"},
    {"8111 seven thresholds do not fit", 0x8111, {},
     [](const F& f) {
         return outcome(as<IFeature8111LatencyMonitoring>(f)->SetLatencyMonitoring(false, 9, {1, 2, 3, 4, 5, 6, 7}));
     },
     {}, "false 0"},

    // ---- attachments, dual clutch, force feedback
    {"8120 GetAttachmentList", 0x8120, {{2, 1, 4}},
     [](const F& f) { return fields(numbers(as<IFeature8120GamingAttachments>(f)->GetAttachmentList()), last_error().code); },
     {{0, {}}}, "[1,4] 0"},
    {"8120 an identifier out of range empties the list", 0x8120, {{2, 1, 5}},
     [](const F& f) {
         return fields(numbers(as<IFeature8120GamingAttachments>(f)->GetAttachmentSelection()), last_error().code);
     },
     {{1, {}}}, "[] 46"},
    {"8120 SetAttachmentSelection", 0x8120, {{}},
     [](const F& f) {
         return outcome(as<IFeature8120GamingAttachments>(f)->SetAttachmentSelection(
             {IFeature8120GamingAttachments::AttachmentId(2), IFeature8120GamingAttachments::AttachmentId(3)}));
     },
     {{2, {2, 2, 3}}}, "true"},
    {"8120 sixteen identifiers do not fit", 0x8120, {},
     [](const F& f) {
         return outcome(as<IFeature8120GamingAttachments>(f)->SetAttachmentSelection(
             Attachments(16, IFeature8120GamingAttachments::AttachmentId(1))));
     },
     {}, "false 46"},
    {"8127 GetDualClutchValue on a short reply", 0x8127, {{0, 1, 2}},
     [](const F& f) {
         std::uint32_t v = 0;
         const bool ok = as<IFeature8127DualClutch>(f)->GetDualClutchValue(3, &v);
         return outcome(ok, v);
     },
     {{1, {3}}}, "true 66048"},
    {"8127 GetDualClutchSettings", 0x8127, {{2, 7, 8, 0}},
     [](const F& f) {
         bool a = false, d = true;
         std::uint32_t b = 0, c = 0;
         const bool ok = as<IFeature8127DualClutch>(f)->GetDualClutchSettings(&a, &b, &c, &d);
         return outcome(ok, a, b, c, d);
     },
     {{2, {0, 0, 0, 0}}}, "true 1 7 8 0"},
    {"8123 DownloadForceB sends the 22-byte block", 0x8123, {{4}},
     [](const F& f) {
         std::uint32_t slot = 0x102;
         const bool ok = as<IFeature8123ForceFeedback>(f)->DownloadForceB(&slot, 0x1F, 9, 1, 0x1112, 0x1314, 1.0f,
                                                                          -1.0f, 0x1516, -2.0f, 1.0f, 0x1718, 0.5f,
                                                                          0x191A, 2.0f);
         return outcome(ok, slot);
     },
     {{2, {0x02, 0x9F, 0x11, 0x12, 0x13, 0x14, 0x7F, 0xFF, 0x80, 0x01, 0x15, 0x16, 0x80, 0x00, 0xFF, 0x17, 0x18, 0x7F,
           0x19, 0x1A, 0xFF, 0xFE}}},
     "true 4"},
    {"8123 SetForceState answered by a short report", 0x8123, {{0, 0, 0}},
     [](const F& f) { return outcome(as<IFeature8123ForceFeedback>(f)->SetForceState(1, 2)); }, {{3, {1, 2}}},
     "false 2"},
    {"8123 SetForceFactors", 0x8123, {{}},
     [](const F& f) { return outcome(as<IFeature8123ForceFeedback>(f)->SetForceFactors(1.0f, 0.0f)); },
     {{8, {0xFF, 0xFF, 0x00, 0x00}}}, "true"},

    // ---- audio
    {"8300 SetSidetoneSettingPair", 0x8300, {{}},
     [](const F& f) { return outcome(as<IFeature8300Sidetone>(f)->SetSidetoneSettingPair(0x80, 0x01)); },
     {{3, {0x80, 0x01}}}, "true"},
    {"8300 GetAudioInfo", 0x8300, {{5}},
     [](const F& f) {
         std::uint32_t v = 0;
         const bool ok = as<IFeature8300Sidetone>(f)->GetAudioInfo(v);
         return outcome(ok, v);
     },
     {{0, {}}}, "true 5"},
    {"8310 GetBandValues", 0x8310, {{10, 0, 0, 0, 0}, {0x08, 0x00, 0x64, 0x00, 0xC8, 0x03, 0xE8}},
     [](const F& f) {
         std::vector<std::uint32_t> values{1};
         const bool ok = as<IFeature8310Equalizer>(f)->GetBandValues(8, values);
         return outcome(ok, values);
     },
     {{0, {}, 1}, {1, {8}, 1}}, "true [100,200]"},
    {"8310 SetBandLevels", 0x8310, {{}},
     [](const F& f) { return outcome(as<IFeature8310Equalizer>(f)->SetBandLevels(0, {-1, 3})); },
     {{3, {0x00, 0xFF, 0x03}}}, "true"},
    {"8310 sixteen levels do not fit", 0x8310, {},
     [](const F& f) { return outcome(as<IFeature8310Equalizer>(f)->SetBandLevels(0, std::vector<int>(16, 1))); }, {},
     "false 46"},
    {"8310 SetEqualizerState 2", 0x8310, {},
     [](const F& f) { return outcome(as<IFeature8310Equalizer>(f)->SetEqualizerState(2)); }, {}, "false 46"},
    {"8320 GetJackState", 0x8320, {{1, 0x80}},
     [](const F& f) {
         std::uint16_t a = 0, b = 0;
         const bool ok = as<IFeature8320JackDetection>(f)->GetJackState(a, b);
         return outcome(ok, a, b);
     },
     {{0, {}}}, "true 1 128"},
    {"8330 GetSupportedPolarPatterns appends", 0x8330, {{0x0A}},
     [](const F& f) {
         std::vector<IFeature8330MicrophonePolarPattern::PolarPattern> p{IFeature8330MicrophonePolarPattern::Bidirectional};
         const bool ok = as<IFeature8330MicrophonePolarPattern>(f)->GetSupportedPolarPatterns(p);
         return outcome(ok, p);
     },
     {{0, {}}}, "true [3,2,4]"},
    {"8330 SetPolarPattern", 0x8330, {{7}},
     [](const F& f) {
         auto active = IFeature8330MicrophonePolarPattern::Cardioid_Mono;
         const bool ok = as<IFeature8330MicrophonePolarPattern>(f)->SetPolarPattern(3, active);
         return outcome(ok, active);
     },
     {{2, {3}}}, "true 0"},
    {"8350 GetBlendInfo and SetBlendInfo read swapped", 0x8350, {{1, 2, 0, 9}, {1, 2, 0, 9}},
     [](const F& f) {
         std::uint32_t a = 0, b = 0, c = 0, a2 = 0, b2 = 0, c2 = 0;
         bool flag = true, flag2 = false;
         auto blend = as<IFeature8350MicrophoneBlendAdjust>(f);
         const bool ok = blend->GetBlendInfo(1, 2, a, b, flag, c) && blend->SetBlendInfo(1, 2, 3, a2, b2, flag2, c2);
         return outcome(ok, a, b, flag, c, a2, b2, flag2, c2);
     },
     {{1, {1, 2}}, {2, {1, 2, 3}}}, "true 1 2 0 9 1 2 1 0"},
    {"8350 GetBlendInfo on a short reply reads missing bytes as 0", 0x8350, {{1, 2, 3}},
     [](const F& f) {
         std::uint32_t a = 0, b = 0, c = 9;
         bool flag = false;
         const bool ok = as<IFeature8350MicrophoneBlendAdjust>(f)->GetBlendInfo(1, 2, a, b, flag, c);
         return outcome(ok, a, b, flag, c);
     },
     {{1, {1, 2}}}, "true 1 2 1 0"},
    {"8360 GetLevelEntry", 0x8360, {{1, 2, 3, 4}},
     [](const F& f) {
         std::uint32_t a = 0, b = 0, c = 0, d = 0;
         const bool ok = as<IFeature8360MicrophoneHeadphoneAdjust>(f)->GetLevelEntry(2, 5, a, b, c, d);
         return outcome(ok, a, b, c, d);
     },
     {{2, {2, 5}}}, "true 1 2 3 4"},
    {"8370 SetLevel", 0x8370, {{7, 8, 9}},
     [](const F& f) {
         std::uint32_t a = 0, b = 0, c = 0;
         const bool ok = as<IFeature8370MicrophoneGainAdjust>(f)->SetLevel(1, 2, 3, a, b, c);
         return outcome(ok, a, b, c);
     },
     {{3, {1, 2, 3}}}, "true 7 8 9"},
});

} // namespace
} // namespace devio::test
