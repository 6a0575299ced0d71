// Scenario attributes of the "receiver" kind beyond product and serial, and of its paired
// devices (the kind itself is registered in SimHidReceiver.cpp):
//
//   <device kind="receiver" product="0xC520" version="13.01.0010" updated-version="13.02.0011"
//           bootloader-family="wren-hid" bootloader-product="0xAA20" mode="application"
//           latency-us="2000" window-start="0" window-end="0xDFFF" page-size="0x80"
//           signature-required="false" bootloader-latency-us="0"
//           bootloader-delay-ms="50" restart-delay-ms="50"
//           bootloader-fault="no-reply|wrong-echo|unplug" fault-command="0x20" fault-at="3"
//           silent-version="false" reject-signature="false">
//     <paired slot="1" kind="keyboard" ota="true" protocol="2.0" slider="3"
//             ota-fault="restart|error|link-loss|never-checked" ota-fault-at="5"/>
//   </device>
#pragma once

#include "devices/SimHidReceiver.h"

#include <sim/Scenario.h>

namespace platform::sim {

// What the receiver tells of the paired model in `index`: type, serial.
void set_paired_details(SimReceiver& receiver, int index, SimProtocolDevice& model);

// Receiver attributes; before the receiver is plugged. ScenarioError on bad values.
void apply_receiver_attributes(const ScenarioElement& device, SimHidReceiver& receiver);
// <paired> attributes that shape the model before it is made, and those applied to it after.
void apply_paired_config_attributes(const ScenarioElement& paired, SimProtocolConfig& config);
void apply_paired_model_attributes(const ScenarioElement& paired, SimHidReceiver& receiver, int slot);

}  // namespace platform::sim
