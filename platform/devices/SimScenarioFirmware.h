#pragma once
// Scenario attributes of a simulated protocol device's firmware, shared by the "keyboard" and
// "mouse" kinds and by a receiver's <paired> devices:
//
//   <device kind="keyboard" ... switch="0x00C2" switch-delay-ms="20">
//     <firmware type="0" name="MPK" number="0x1201" build="0x0033"/>
//     <firmware type="1" name="BOT" number="0x0100" build="0x0007"/>
//   </device>
//   <paired slot="1" kind="keyboard" product="0x4001" unit-id="0x0A0B0C0D" battery="60"
//           battery-critical="10" switch="0x00C1">
//     <firmware .../>
//   </paired>
//
// `switch` names the feature that takes the device into its bootloader, `switch-delay-ms` how long
// the device takes to restart into it after a 0x00C2 switch (default 20); <firmware> elements,
// when given, replace the model's entity list (the first of type 0 is the application).

#include "devices/SimProtocolDevice.h"

#include <sim/Scenario.h>

namespace platform::sim {

void apply_scenario_firmware(const ScenarioElement& element, SimProtocolConfig& config);
// unit-id, battery and battery-critical.
void apply_scenario_unit(const ScenarioElement& element, SimProtocolConfig& config);

} // namespace platform::sim
