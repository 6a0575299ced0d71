// The gaming, lighting and audio features and their interfaces.
#include "InterfaceSweep.h"

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

const InterfaceRows rows10({
    interface_row<IFeature8010Vantor>("IFeature8010Vantor"),
    interface_row<IFeature8020Mkeys>("IFeature8020Mkeys"),
    interface_row<IFeature8030MR>("IFeature8030MR"),
    interface_row<IFeature8040BrightnessControl>("IFeature8040BrightnessControl"),
    interface_row<IFeature8060ReportRate>("IFeature8060ReportRate"),
    interface_row<IFeature8070ColorLEDEffects>("IFeature8070ColorLEDEffects"),
    interface_row<IFeature8071RGBEffects>("IFeature8071RGBEffects"),
    interface_row<IFeature807aRpmIndicator>("IFeature807aRpmIndicator"),
    interface_row<IFeature8080PerKeyLighting>("IFeature8080PerKeyLighting"),
    interface_row<IFeature8081PerKeyLighting>("IFeature8081PerKeyLighting"),
    interface_row<IFeature8090ModeStatus>("IFeature8090ModeStatus"),
    interface_row<IFeature80A3LegacyAxisResponseCurve>("IFeature80A3LegacyAxisResponseCurve"),
    interface_row<IFeature80D0CombinedPedals>("IFeature80D0CombinedPedals"),
    interface_row<IFeature8100OnboardProfiles>("IFeature8100OnboardProfiles"),
    interface_row<IFeature8110MouseButtonSpy>("IFeature8110MouseButtonSpy"),
    interface_row<IFeature8111LatencyMonitoring>("IFeature8111LatencyMonitoring"),
    interface_row<IFeature8120GamingAttachments>("IFeature8120GamingAttachments"),
    interface_row<IFeature8123ForceFeedback>("IFeature8123ForceFeedback"),
    interface_row<IFeature8127DualClutch>("IFeature8127DualClutch"),
    interface_row<IFeature8300Sidetone>("IFeature8300Sidetone"),
    interface_row<IFeature8310Equalizer>("IFeature8310Equalizer"),
    interface_row<IFeature8320JackDetection>("IFeature8320JackDetection"),
    interface_row<IFeature8330MicrophonePolarPattern>("IFeature8330MicrophonePolarPattern"),
    interface_row<IFeature8350MicrophoneBlendAdjust>("IFeature8350MicrophoneBlendAdjust"),
    interface_row<IFeature8360MicrophoneHeadphoneAdjust>("IFeature8360MicrophoneHeadphoneAdjust"),
    interface_row<IFeature8370MicrophoneGainAdjust>("IFeature8370MicrophoneGainAdjust"),
});

} // namespace
} // namespace devio::test
