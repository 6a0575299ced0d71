// The device-information and settings features and their interfaces.
#include "InterfaceSweep.h"

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

const InterfaceRows rows8({
    interface_row<IFeature1001BatteryVoltage>("IFeature1001BatteryVoltage"),
    interface_row<IFeature1010ChargingControl>("IFeature1010ChargingControl"),
    interface_row<IFeature1300LEDControl>("IFeature1300LEDControl"),
    interface_row<IFeature18A1LEDState>("IFeature18A1LEDState"),
    interface_row<IFeature1800GenericTest>("IFeature1800GenericTest"),
    interface_row<IFeature1801ManufacturingMode>("IFeature1801ManufacturingMode"),
    interface_row<IFeature1802DeviceReset>("IFeature1802DeviceReset"),
    interface_row<IFeature1890RfTest>("IFeature1890RfTest"),
    interface_row<IFeature1806ConfigurableDeviceProperties>("IFeature1806ConfigurableDeviceProperties"),
    interface_row<IFeature1814ChangeHost>("IFeature1814ChangeHost"),
    interface_row<IFeature1815HostsInfos>("IFeature1815HostsInfos"),
    interface_row<IFeature1981KeyboardBacklight>("IFeature1981KeyboardBacklight"),
    interface_row<IFeature1982Backlight>("IFeature1982Backlight"),
    interface_row<IFeature1983KeyboardBacklight>("IFeature1983KeyboardBacklight"),
    interface_row<IFeature1B00SpecialKeys>("IFeature1B00SpecialKeys"),
    interface_row<IFeature1B03SpecialKeys>("IFeature1B03SpecialKeys"),
    interface_row<IFeature1B04SpecialKeys>("IFeature1B04SpecialKeys"),
    interface_row<IFeature1BC0ReportHIDUsages>("IFeature1BC0ReportHIDUsages"),
    interface_row<IFeature1C00PersistentRemappableAction>("IFeature1C00PersistentRemappableAction"),
    interface_row<IFeature1E00EnableHiddenFeatures>("IFeature1E00EnableHiddenFeatures"),
    interface_row<IFeature1F1FFirmwareProperties>("IFeature1F1FFirmwareProperties"),
    interface_row<IFeature1F20ADCMeasurement>("IFeature1F20ADCMeasurement"),
    interface_row<IFeature1A00PresenterControl>("IFeature1A00PresenterControl"),
    interface_row<IFeature1805OOBState>("IFeature1805OOBState"),
    interface_row<IFeature1A013DSensor>("IFeature1A013DSensor"),
});

} // namespace
} // namespace devio::test
