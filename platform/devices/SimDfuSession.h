#pragma once
// Device side of a firmware transfer through the update feature: which packet comes next,
// the bytes received, the status of each answer, and the faults a test can switch on.
// An image that starts with our header (quillon/DfuImage.h) sets the packet count, the
// version installed and whether it carries the radio stack; any other image takes the
// configured packet count.

#include "quillon/DfuImage.h"

#include <cstdint>
#include <optional>
#include <vector>

namespace platform::sim {

using Bytes = std::vector<std::uint8_t>;

struct SimDfuFaults {
    // At packet k (0 = the start packet) answer `failStatus` and drop the transfer.
    int failAtPacket = -1;
    std::uint8_t failStatus = 4;
    // End with status 5 instead of 2.
    bool successAs5 = false;
    // At packet k answer status 3, then nothing more.
    int busyThenSilentAt = -1;
    // At packet k answer with a report too short to hold the status; the status follows
    // as a notification.
    int shortReportAt = -1;
    // At packet k (the first time) drop packets k-1 on and ask for packet k-1 again.
    int resendAt = -1;
    // Every start is answered with status 1 naming packet 0: the device takes the first packet
    // again as a data packet, and goes on from there.
    bool startAsksForPacket0 = false;
    // From packet k on (0 = the start packet) every answer names packet k again with status 1,
    // and the device takes nothing more.
    int stuckAt = -1;
};

// What the device sends for one request: replies (payloads of the answering report; a short
// one goes out as a short report) and then notifications.
struct SimDfuAnswer {
    std::vector<Bytes> replies;
    std::vector<Bytes> notifications;
};

enum class SimDfuRestart {
    Unchanged,     // transfer not complete: the device comes back as it left
    Application,   // image complete: the new firmware runs
    Bootloader,    // radio stack complete: the bootloader takes the main image next
};

struct SimFirmwareEntity;
// Index into `firmware` of the entity a bootloader reports at `index`: its own (type 1) first,
// then the others in their order.
std::size_t bootloader_entity_order(const std::vector<SimFirmwareEntity>& firmware, std::size_t index);

class SimDfuSession {
public:
    void set_default_packet_count(std::uint32_t count) { m_default_count = count; }
    void set_status_by_notification(bool on) { m_by_notification = on; }
    void set_faults(const SimDfuFaults& faults) { m_faults = faults; }
    void set_product_id(std::uint16_t productId) { m_product_id = productId; }

    SimDfuAnswer start(const Bytes& packet);                 // function 4
    SimDfuAnswer data(std::uint8_t function, const Bytes& packet);  // functions 0..3
    SimDfuRestart restart();                                 // function 5

    bool started() const { return m_started; }
    std::uint32_t next_packet() const { return m_next; }
    std::uint32_t packet_count() const;
    // Bytes received in packet order; cut to header plus firmware when the image has our header.
    Bytes image() const;
    // Header of the last image started, if it had one.
    std::optional<quillon::dfu::Header> header() const { return m_header; }
    // Images completed (a radio stack and a main image count two).
    unsigned completed() const { return m_completed; }
    // Start and data packets received in all.
    std::uint64_t packets_received() const { return m_packets_received; }

private:
    Bytes status_record(std::uint8_t status) const;
    SimDfuAnswer answer(std::uint8_t status);
    std::uint8_t final_status() const;

    SimDfuFaults m_faults;
    std::uint32_t m_default_count = 4;
    bool m_by_notification = false;
    std::uint16_t m_product_id = 0;

    bool m_started = false;
    bool m_complete = false;
    bool m_silent = false;
    bool m_resent = false;
    std::uint32_t m_next = 0;
    Bytes m_image;
    std::optional<quillon::dfu::Header> m_header;
    unsigned m_completed = 0;
    std::uint64_t m_packets_received = 0;
};

} // namespace platform::sim
