// Simulated USB receiver speaking register protocol 1.0.
// Transport-neutral: output reports from the host go into on_output_report, input
// reports to the host leave through the sink (the HID glue broadcasts them to
// every open handle of the receiver's collections).
#pragma once

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

    std::uint16_t product_id() const { return m_product_id; }
    void set_sink(Sink sink);

    // Host side: one output report (report id, index, sub-id, ...).
    void on_output_report(const Bytes& report);

    // Pairing. `toDevice` takes the host's reports for that device (byte 1 = its
    // index); the device answers through `from_device` on the returned function.
    // Returns false when the slot (1..6) is out of range or taken.
    bool pair(int index, std::uint16_t wirelessPid, const std::string& name,
              std::function<void(const Bytes&)> toDevice, bool linked = true);
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
        std::function<void(const Bytes&)> toDevice;
    };
    struct Reg {
        std::uint8_t v[3] = {0, 0, 0};
        int writes = 0;
        int reads = 0;
    };

    void set_linked(int index, bool linked);
    void handle_register(const Bytes& r, std::vector<Bytes>& out);
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
    Reg m_reg00, m_reg02, m_reg03, m_regB2, m_regB3, m_regB5, m_other;
    bool m_lock_open = false;
    int m_missing_announcements = 0;
    int m_drop_replies = 0;
};

}  // namespace sim
}  // namespace platform
