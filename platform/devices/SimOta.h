// The over-the-air side of a simulated protocol device behind a receiver:
// - feature 0x00C0 (when the feature table has it) takes "DFU", and a protocol 1.0 device takes
//   "OTA" in register 0xF0: the device drops its link and waits in its bootloader;
// - routed there by the receiver ("LT" + index, or "LTu"), it links again and answers long writes
//   of 16 bytes to register 0xE2 with a 3-byte status: 0 acknowledged, 0x02 restart requested,
//   0x08 error, 0x04 image checked (to command 8); command 2 starts an image, 1 and 0 follow in
//   turn, 4 leaves the bootloader (with the new version when the image was checked);
// - a protocol 1.0 device answers registers 0x07 and 0x0D (battery), 0xF1 (version) and 0xF0.
// The state is guarded by the device's own lock.
#pragma once

#include <chrono>
#include <cstdint>
#include <vector>

namespace platform::sim {

class SimProtocolDevice;
using Bytes = std::vector<std::uint8_t>;

class SimOta {
public:
    enum class Fault {
        None,
        RestartRequest,   // packet k answers "restart requested"
        ErrorStatus,      // packet k answers "error"
        LinkLoss,         // packet k is lost with the link, which comes back after the relink delay
        NeverChecked,     // command 8 never answers "checked"
        Checked,          // packet k answers "image checked", whatever it carries
    };

    explicit SimOta(SimProtocolDevice& device);

    // ---- set-up and faults (any thread) ----
    // Off by default, so a model on USB keeps answering as before; a receiver turns it on for the
    // devices paired to it.
    void set_enabled(bool on);
    void set_fault(Fault fault, unsigned packet = 1);   // packet: the k-th 0xE2 write from now, from 1
    void set_fault_repeats(bool on);                    // the fault hits every packet from the k-th on
    void set_relink_delay(std::chrono::milliseconds delay);
    void set_check_polls(unsigned polls);               // command 8 answers "checked" at this poll
    void set_battery_register_0d(bool on);              // off: register 0x0D is refused (0x07 remains)
    // On: the link drop that follows a switch to the bootloader reaches the host ahead of the
    // switch's reply, as it may when the two travel on different collections.
    void set_leave_before_reply(bool on);

    // ---- the receiver's routing, on its thread ----
    void route(bool on);

    // ---- state ----
    bool in_bootloader() const;
    bool routed() const;
    bool checked() const;
    Bytes image() const;        // the data of the packets taken since the last command 2
    unsigned packets() const;   // 0xE2 writes received
    std::uint32_t serial() const;   // the unit id, which the receiver tells as serial number

    // Called by the device, under its lock, for every request; true when answered here.
    bool handle(const Bytes& cmd, std::vector<Bytes>& out);

private:
    bool register_request(const Bytes& cmd, std::vector<Bytes>& out);
    bool version_or_battery(const Bytes& cmd, std::vector<Bytes>& out);
    void packet(const Bytes& cmd, std::vector<Bytes>& out);
    void enter_bootloader();
    void leave_bootloader();
    std::chrono::steady_clock::time_point after_reply() const;

    SimProtocolDevice& m_device;
    bool m_enabled = false;
    bool m_bootloader = false;
    bool m_routed = false;
    bool m_damaged = false;   // an image was begun and not checked: no application to return to
    bool m_started = false;
    bool m_checked = false;
    std::uint8_t m_expect = 0;
    std::uint8_t m_last = 0;
    unsigned m_polls = 0;
    unsigned m_check_polls = 1;
    unsigned m_packets = 0;
    Fault m_fault = Fault::None;
    unsigned m_fault_at = 0;
    bool m_fault_repeats = false;
    bool m_battery_0d = true;
    bool m_leave_first = false;
    std::chrono::milliseconds m_relink{20};
    std::chrono::steady_clock::time_point m_leave_due{};
    Bytes m_image;
};

}  // namespace platform::sim
