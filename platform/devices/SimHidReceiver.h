// A simulated USB receiver behind its two HID collections, with protocol 2.0 device models
// paired in its slots. Registers the scenario kind "receiver":
//
//   <device kind="receiver" name="rx" product="0xC510" serial="0x1A2B3C4D">
//     <paired slot="1" kind="keyboard" product="0x4001" name="Sim Keyboard" linked="true"/>
//   </device>
//
// (firmware, bootloader and fault attributes: SimReceiverScenario.h). "ICP" takes the receiver
// away and brings its bootloader (SimHidBootloader) after a delay; the bootloader's restart brings
// the receiver back with its updated version when an image passed, else the bootloader again.
#pragma once

#include "devices/SimHidBootloader.h"
#include "devices/SimHidDevice.h"
#include "devices/SimProtocolDevice.h"
#include "devices/SimReceiver.h"
#include "devices/SimScheduler.h"

#include <chrono>
#include <condition_variable>
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
    // Plugs or unplugs the receiver as it now is: in its application or in its bootloader.
    void plug();
    void unplug(Removal how = Removal::Surprise);

    // ---- firmware and bootloader ----
    // Replaces the firmware and the bootloader (family None: no bootloader; "ICP" does nothing).
    // Before the receiver is plugged.
    void set_firmware(const SimReceiverFirmware& firmware, const SimBootloaderConfig& bootloader);
    SimReceiverFirmware firmware() const;
    // The receiver runs its bootloader (an update cut short before): plug() brings the bootloader.
    void start_in_bootloader();
    bool in_bootloader() const;
    // Null without a bootloader.
    SimHidBootloader* bootloader() { return m_bootloader.get(); }
    // How long the receiver stays away after "ICP" before its bootloader appears, and after the
    // bootloader's restart before the receiver (or the bootloader again) appears.
    void set_switch_delays(std::chrono::milliseconds toBootloader, std::chrono::milliseconds restart);
    // Waits until the receiver runs its bootloader (true) or its application (false) and is plugged.
    bool wait_for_mode(bool bootloader, std::chrono::milliseconds deadline) const;
    // Waits until a switch under way has ended, whichever mode it ended in.
    bool wait_until_settled(std::chrono::milliseconds deadline) const;

private:
    void enter_bootloader();
    void on_bootloader_restart(bool accepted);
    void route(int index, bool on);

    std::shared_ptr<SimReceiver> m_receiver;
    std::unique_ptr<SimHidDevice> m_hid;
    mutable std::mutex m_mutex;
    mutable std::condition_variable m_mode_changed;
    std::unique_ptr<SimProtocolDevice> m_models[SimReceiver::kSlots];
    SimReceiverFirmware m_firmware;
    std::unique_ptr<SimHidBootloader> m_bootloader;
    bool m_in_bootloader = false;
    bool m_switching = false;   // between leaving one mode and plugging the other
    std::chrono::milliseconds m_to_bootloader{50};
    std::chrono::milliseconds m_restart{50};
    SimScheduler m_tasks;
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
