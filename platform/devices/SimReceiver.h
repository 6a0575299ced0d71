// Simulated USB receiver speaking register protocol 1.0.
// Transport-neutral: output reports from the host go into on_output_report, input
// reports to the host leave through the sink (the HID glue broadcasts them to
// every open handle of the receiver's collections).
#pragma once

#include "devices/SimReceiverFirmware.h"
#include "devices/SimScheduler.h"

#include <chrono>
#include <cstdint>
#include <functional>
#include <mutex>
#include <string>
#include <vector>

namespace platform {
namespace sim {

class SimReceiver {
public:
    using Bytes = std::vector<std::uint8_t>;
    using Sink = std::function<void(const Bytes&)>;

    static constexpr int kSlots = 6;

    // Register protocol error codes the receiver answers with.
    static constexpr std::uint8_t kErrInvalidSubId = 0x01;
    static constexpr std::uint8_t kErrInvalidAddress = 0x02;
    static constexpr std::uint8_t kErrInvalidValue = 0x03;
    static constexpr std::uint8_t kErrUnreachable = 0x09;

    SimReceiver(std::uint16_t productId, std::uint32_t serial);
    ~SimReceiver();

    std::uint16_t product_id() const { return m_product_id; }
    std::uint32_t serial() const { return m_serial; }
    // Replacing or clearing the sink waits for a delivery in progress.
    void set_sink(Sink sink);

    // Every report to the host (replies, relayed device reports, notifications) leaves this long
    // after its cause, from the receiver's own thread; 0 (the default) sends at once, on the
    // thread that caused it.
    void set_latency(std::chrono::microseconds latency);

    // Firmware: register 0xF1 answers from the version.
    void set_version(const SimReceiverVersion& version);
    SimReceiverVersion version() const;
    // As after a power-up: notification flags, routing and pairing lock are forgotten.
    void restart();

    // "ICP" written to register 0xF0: the handler runs on the receiver's thread after the reply.
    // Without a handler the receiver has no bootloader and stays where it is.
    void set_bootloader_handler(std::function<void()> handler);
    // "LT" + index (on) or "LTu" (index 0, on) and "XIT" (index 0, off) written to register 0xF0:
    // routes a paired device into its bootloader or ends that; runs on the receiver's thread.
    void set_route_handler(std::function<void(int index, bool on)> handler);

    // What the receiver tells about a paired device besides its product id: the device type in the
    // low nibble of the connection notification's byte 4, the radio protocol of byte 3, the serial
    // number and the slider of long register 0xB5 page 0x30 + index - 1.
    struct PairedDetails {
        std::uint8_t deviceType = 1;   // 1 keyboard, 2 mouse
        std::uint8_t protocol = 0x04;
        std::uint32_t serial = 0;
        std::uint8_t slider = 0;
    };
    void set_paired_details(int index, const PairedDetails& details);
    // Ends the receiver's own thread: nothing later runs, and with a latency nothing more is sent.
    // For the owner of the handlers before it goes.
    void shut_down();

    // Host side: one output report (report id, index, sub-id, ...).
    void on_output_report(const Bytes& report);

    // Pairing. `toDevice` takes the host's reports for that device (byte 1 = its
    // index); the device answers through `from_device` on the returned function.
    // Returns false when the slot (1..6) is out of range or taken.
    bool pair(int index, std::uint16_t wirelessPid, const std::string& name,
              std::function<void(const Bytes&)> toDevice, bool linked = true);
    // The same, where `toDevice` tells whether the device took the report. One it did not take
    // (the device has just gone and its link is not down yet) is answered as for an unlinked
    // device, never left without an answer.
    bool pair_acknowledged(int index, std::uint16_t wirelessPid, const std::string& name,
                           std::function<bool(const Bytes&)> toDevice, bool linked = true);
    // Input report of the paired device in `index` (byte 1 is set to the index).
    void from_device(int index, Bytes report);
    void link(int index);
    void unlink(int index);
    void unpair(int index);   // as by the host's unpair command, with a 0x40 notification
    bool is_paired(int index) const;
    bool is_linked(int index) const;

    // Faults.
    void set_missing_announcements(int times);   // next announcements leave out the last device
    void drop_replies(int count);               // the next register replies are lost
    // Once `after` more reads of the short register `reg` were answered, the replies to the next
    // `count` reads of it are lost.
    void drop_read_replies(std::uint8_t reg, int after, int count);
    void overwrite_register_zero(std::uint8_t b4, std::uint8_t b5, std::uint8_t b6);  // another program

    // Inspection.
    Bytes register_value(std::uint8_t reg) const;
    int register_writes(std::uint8_t reg) const;
    int register_reads(std::uint8_t reg) const;
    bool lock_open() const;

private:
    struct Paired {
        bool paired = false;
        bool linked = false;
        std::uint16_t wirelessPid = 0;
        std::string name;
        std::function<bool(const Bytes&)> toDevice;
        PairedDetails details;
    };
    using Task = std::function<void()>;
    struct Reg {
        std::uint8_t v[3] = {0, 0, 0};
        int writes = 0;
        int reads = 0;
    };

    void set_linked(int index, bool linked);
    void handle_register(const Bytes& r, std::vector<Bytes>& out, std::vector<Task>& later);
    bool handle_firmware_register(const Bytes& r, std::vector<Bytes>& replies, std::vector<Task>& later);
    void long_register_b5(std::uint8_t page, Bytes& reply, std::vector<Bytes>& replies);
    // Sends the reports, then runs the tasks; both after the latency.
    void deliver(std::vector<Bytes> out, std::vector<Task> later = {});
    Bytes connection_notification(int index, const Paired& p) const;
    Bytes error_reply(std::uint8_t index, std::uint8_t subId, std::uint8_t reg, std::uint8_t err) const;
    bool notifications_on() const { return (m_reg00.v[1] & 0x01) != 0; }
    void emit(const std::vector<Bytes>& out);
    Reg& reg(std::uint8_t r);

    const std::uint16_t m_product_id;
    const std::uint32_t m_serial;
    mutable std::mutex m_mutex;
    Sink m_sink;
    Paired m_slots[kSlots];
    Reg m_reg00, m_reg02, m_reg03, m_regB2, m_regB3, m_regB5, m_regF0, m_regF1, m_other;
    bool m_lock_open = false;
    int m_missing_announcements = 0;
    int m_drop_replies = 0;
    std::uint8_t m_drop_read_reg = 0;
    int m_drop_read_after = 0;
    int m_drop_read_count = 0;
    std::chrono::microseconds m_latency{0};
    SimReceiverVersion m_version;
    std::function<void()> m_bootloader_handler;
    std::function<void(int, bool)> m_route_handler;
    // Held while a report is handed to the sink, and from a change of a slot's state to the
    // hand-over of the reports it causes: reports leave in the order of the changes behind them.
    std::recursive_mutex m_delivery_mutex;
    SimScheduler m_scheduler;                // last: its tasks use the members above
};

}  // namespace sim
}  // namespace platform
