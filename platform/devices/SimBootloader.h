// Simulated receiver bootloader: 33-byte reports (report id 0, command in byte 1, address in
// bytes 2..3 high byte first, length in byte 4, data from byte 5), a flash array with an
// application window and a page size, and the firmware signature check.
// Transport-neutral: output reports go into on_output_report, replies leave through the sink.
#pragma once

#include "devices/FirmwareSignature.h"
#include "devices/SimReceiverFirmware.h"
#include "devices/SimScheduler.h"

#include <array>
#include <chrono>
#include <cstdint>
#include <functional>
#include <map>
#include <mutex>
#include <vector>

namespace platform::sim {

struct SimBootloaderConfig {
    SimBootloaderFamily family = SimBootloaderFamily::PureHid;
    std::uint16_t productId = 0xAA10;
    std::uint16_t windowStart = 0x0000;
    std::uint16_t windowEnd = 0xDFFF;
    std::uint16_t pageSize = 0x0200;
    // An image without a signature is refused.
    bool signatureRequired = false;
    std::chrono::microseconds latency{0};
};

// A bootloader of the family with its usual window and page size.
SimBootloaderConfig sim_bootloader_config(SimBootloaderFamily family, std::uint16_t productId = 0);

class SimBootloader {
public:
    using Bytes = std::vector<std::uint8_t>;
    using Sink = std::function<void(const Bytes&)>;

    static constexpr std::size_t kReportLength = 33;

    enum class FaultAction { None, NoReply, WrongEcho, Unplug };
    struct Fault {
        FaultAction action = FaultAction::None;
        std::uint8_t command = 0;   // 0: any command
        unsigned occurrence = 1;    // the k-th such command, from 1
    };

    SimBootloader(SimBootloaderConfig config, SimReceiverVersion application);
    ~SimBootloader();
    SimBootloader(const SimBootloader&) = delete;
    SimBootloader& operator=(const SimBootloader&) = delete;

    const SimBootloaderConfig& config() const { return m_config; }
    // Replacing or clearing the sink waits for a delivery in progress.
    void set_sink(Sink sink);
    // 0x70: runs on the bootloader's thread after the reply; `accepted` tells whether a
    // complete image passed its check since the last erase.
    void set_restart_handler(std::function<void(bool accepted)> handler);
    // The unplug fault: runs on the bootloader's thread after the reply.
    void set_unplug_handler(std::function<void()> handler);
    void set_latency(std::chrono::microseconds latency);
    // The application firmware the version commands tell of.
    void set_application(const SimReceiverVersion& version);
    // Ends the bootloader's own thread (for the owner of the handlers before it goes).
    void shut_down();

    void on_output_report(const Bytes& report);

    // ---- faults ----
    void set_fault(const Fault& fault);
    void set_silent_version(bool on);      // 0x50 and 0xA0 go unanswered
    void set_reject_signature(bool on);    // every signature fails its check

    // ---- inspection ----
    Bytes flash(std::uint32_t address, std::size_t length) const;
    bool accepted() const;
    unsigned command_count(std::uint8_t command) const;   // 0: all
    std::vector<Bytes> written() const;                     // every report received

private:
    void handle(const Bytes& r, Bytes& reply, bool& restart);
    void handle_buffered(const Bytes& r, Bytes& reply);
    bool in_window(std::uint32_t address, std::size_t length) const;
    void program(std::uint32_t address, const std::uint8_t* data, std::size_t length);
    void erase(std::uint32_t from, std::uint32_t to);
    void put_signature(std::uint32_t offset, const std::uint8_t* data, std::size_t length);
    bool image_passes() const;
    Bytes text_reply(std::uint8_t command, const std::string& text) const;
    void emit(const Bytes& reply);

    const SimBootloaderConfig m_config;
    mutable std::mutex m_mutex;
    SimReceiverVersion m_application;
    std::vector<std::uint8_t> m_flash;          // 64 KB, erased 0xFF
    std::array<std::uint8_t, 128> m_stage{};
    quillon::FirmwareSignature m_signature{};
    std::uint32_t m_signature_blocks = 0;        // one bit per 16-byte block written
    bool m_programmed = false;                   // something was written since the last erase
    bool m_accepted = false;
    std::map<std::uint8_t, unsigned> m_counts;
    unsigned m_total = 0;
    Fault m_fault;
    bool m_silent_version = false;
    bool m_reject_signature = false;
    std::chrono::microseconds m_latency;
    std::vector<Bytes> m_log;
    Sink m_sink;
    std::function<void(bool)> m_restart_handler;
    std::function<void()> m_unplug_handler;
    std::recursive_mutex m_delivery_mutex;
    SimScheduler m_scheduler;   // last: its tasks use the members above
};

}  // namespace platform::sim
