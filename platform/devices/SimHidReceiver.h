// A simulated USB receiver behind its two HID collections, with protocol 2.0 device models
// paired in its slots. Registers the scenario kind "receiver":
//
//   <device kind="receiver" name="rx" product="0xC510" serial="0x1A2B3C4D">
//     <paired slot="1" kind="keyboard" product="0x4001" name="Sim Keyboard" linked="true"/>
//   </device>
#pragma once

#include "devices/SimHidDevice.h"
#include "devices/SimProtocolDevice.h"
#include "devices/SimReceiver.h"

#include <memory>
#include <mutex>
#include <vector>

namespace platform::sim {

class SimHidReceiver {
public:
    // node 0: a USB node of its own.
    SimHidReceiver(std::uint16_t productId, std::uint32_t serial, DevInst node = 0);
    ~SimHidReceiver();
    SimHidReceiver(const SimHidReceiver&) = delete;
    SimHidReceiver& operator=(const SimHidReceiver&) = delete;

    // Pairs a protocol 2.0 model in slot `index` (1..6); its reports are relayed both ways and
    // its presence links or unlinks it. Announced at once when notifications are on.
    SimProtocolDevice* pair(int index, SimProtocolConfig config, bool linked = true);
    SimProtocolDevice* paired(int index);
    void unpair(int index);

    SimReceiver& receiver() { return *m_receiver; }
    SimHidDevice& hid() { return *m_hid; }
    void plug() { m_hid->plug(); }
    void unplug(Removal how = Removal::Surprise) { m_hid->unplug(how); }

private:
    std::shared_ptr<SimReceiver> m_receiver;
    std::unique_ptr<SimHidDevice> m_hid;
    std::mutex m_mutex;
    std::unique_ptr<SimProtocolDevice> m_models[SimReceiver::kSlots];
};

// Makes the "receiver" kind known to the scenario loader (idempotent).
void register_receiver_scenario_kind();

// Makes every scenario kind of the device models known: "keyboard", "mouse" and "receiver".
// Runs by itself in every program that uses any device model; calling it again does nothing.
void register_device_model_scenario_kinds();

}  // namespace platform::sim

// The same with C linkage, for a linker option (-u) that brings the kinds into a program that
// names nothing of the models but their scenario kinds.
extern "C" void quillon_sim_device_model_kinds();

namespace platform::sim {

}  // namespace platform::sim
