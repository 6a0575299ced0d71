#include "devices/SimBootloader.h"

#include <algorithm>
#include <cstdio>
#include <string>

namespace platform::sim {

namespace {

constexpr std::uint8_t kInfo = 0x80;
constexpr std::uint8_t kErasePage = 0x30;
constexpr std::uint8_t kWrite = 0x20;
constexpr std::uint8_t kRead = 0x10;
constexpr std::uint8_t kSignatureOrStage = 0xC0;
constexpr std::uint8_t kRestart = 0x70;
constexpr std::uint8_t kVersion = 0x50;
constexpr std::uint8_t kVersionAlt = 0xA0;
constexpr std::uint8_t kBootloaderVersion = 0x90;
constexpr std::uint8_t kBuffered = 0xD0;
constexpr std::uint8_t kSignatureBuffered = 0xE0;
// A refused command is echoed with this in byte 1.
constexpr std::uint8_t kRefused = 0xFF;

constexpr std::size_t kFlashSize = 0x10000;
// A device that leaves after a reply lets the reply reach the host first.
constexpr std::chrono::milliseconds kLeaveDelay{20};
constexpr std::size_t kPage = 128;

}  // namespace

SimBootloaderConfig sim_bootloader_config(SimBootloaderFamily family, std::uint16_t productId)
{
    SimBootloaderConfig c;
    c.family = family;
    c.productId = productId ? productId : first_bootloader_of(family);
    if (family == SimBootloaderFamily::WrenHid || family == SimBootloaderFamily::FenMarl)
        c.pageSize = kPage;
    if (family == SimBootloaderFamily::FenMarl)
        c.windowEnd = 0xEFFF;
    return c;
}

SimBootloader::SimBootloader(SimBootloaderConfig config, SimReceiverVersion application)
    : m_config(config), m_application(application), m_flash(kFlashSize, 0xFF), m_latency(config.latency)
{
    m_stage.fill(0xFF);
}

SimBootloader::~SimBootloader()
{
    m_scheduler.stop();
}

void SimBootloader::shut_down()
{
    m_scheduler.stop();
}

void SimBootloader::set_sink(Sink sink)
{
    std::lock_guard<std::recursive_mutex> delivery(m_delivery_mutex);
    std::lock_guard<std::mutex> lock(m_mutex);
    m_sink = std::move(sink);
}

void SimBootloader::set_restart_handler(std::function<void(bool)> handler)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    m_restart_handler = std::move(handler);
}

void SimBootloader::set_unplug_handler(std::function<void()> handler)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    m_unplug_handler = std::move(handler);
}

void SimBootloader::set_latency(std::chrono::microseconds latency)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    m_latency = latency;
}

void SimBootloader::set_application(const SimReceiverVersion& version)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    m_application = version;
}

void SimBootloader::set_fault(const Fault& fault)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    m_fault = fault;
}

void SimBootloader::set_silent_version(bool on)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    m_silent_version = on;
}

void SimBootloader::set_reject_signature(bool on)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    m_reject_signature = on;
}

void SimBootloader::emit(const Bytes& reply)
{
    std::lock_guard<std::recursive_mutex> delivery(m_delivery_mutex);
    Sink sink;
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        sink = m_sink;
    }
    if (sink)
        sink(reply);
}

void SimBootloader::on_output_report(const Bytes& report)
{
    if (report.size() < 2)
        return;
    Bytes reply;
    bool restart = false;
    bool unplug = false;
    std::chrono::microseconds latency;
    std::function<void(bool)> restartHandler;
    std::function<void()> unplugHandler;
    bool accepted = false;
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_log.push_back(report);
        const std::uint8_t command = report[1];
        ++m_total;
        const unsigned count = ++m_counts[command];
        const bool hit = m_fault.action != FaultAction::None &&
                         (m_fault.command == 0 ? m_total : count) == m_fault.occurrence &&
                         (m_fault.command == 0 || m_fault.command == command);
        if (hit && m_fault.action == FaultAction::NoReply)
            return;   // lost on its way: neither done nor answered
        handle(report, reply, restart);
        if (hit && m_fault.action == FaultAction::WrongEcho && !reply.empty())
            reply[1] = static_cast<std::uint8_t>(command ^ 0xFF);
        unplug = hit && m_fault.action == FaultAction::Unplug;
        latency = m_latency;
        restartHandler = m_restart_handler;
        unplugHandler = m_unplug_handler;
        accepted = m_accepted;
    }
    std::function<void()> after;
    if (unplug && unplugHandler)
        after = unplugHandler;
    else if (restart && restartHandler)
        after = [restartHandler, accepted] { restartHandler(accepted); };
    if (latency.count() == 0) {
        if (!reply.empty())
            emit(reply);
        // Never on the writer's thread: leaving waits for the host's windows.
        if (after)
            m_scheduler.post_after(kLeaveDelay, std::move(after));
        return;
    }
    m_scheduler.post_after(latency, [this, reply, after] {
        if (!reply.empty())
            emit(reply);
        if (after)
            m_scheduler.post_after(kLeaveDelay, after);
    });
}

void SimBootloader::handle(const Bytes& r, Bytes& reply, bool& restart)
{
    auto b = [&](std::size_t i) -> std::uint8_t { return i < r.size() ? r[i] : 0; };
    const std::uint8_t command = b(1);
    const std::uint32_t address = static_cast<std::uint32_t>(b(2)) << 8 | b(3);
    const std::size_t length = b(4);
    const std::uint8_t* data = r.size() >= 21 ? r.data() + 5 : nullptr;
    const bool buffered = m_config.family == SimBootloaderFamily::WrenHid || m_config.family == SimBootloaderFamily::FenMarl;
    reply.assign(kReportLength, 0);
    reply[1] = command;
    switch (command) {
    case kInfo: {
        auto put16 = [&](std::size_t at, std::uint16_t v) {
            reply[at] = static_cast<std::uint8_t>(v >> 8);
            reply[at + 1] = static_cast<std::uint8_t>(v);
        };
        put16(5, m_config.windowStart);
        put16(7, m_config.windowEnd);
        put16(9, m_config.pageSize);
        return;
    }
    case kErasePage: {
        const std::uint32_t page = m_config.pageSize ? m_config.pageSize : 8;
        if (buffered || !in_window(address, 1)) {
            reply[1] = kRefused;
            return;
        }
        erase(address, std::min<std::uint32_t>(address + page, m_config.windowEnd + 1u));
        return;
    }
    case kWrite:
        if (buffered || !data || length == 0 || length > 16 || !in_window(address, length)) {
            reply[1] = kRefused;
            return;
        }
        program(address, data, length);
        // The first byte comes last: it makes the image valid once the whole image passes.
        if (address == 0 && length == 1) {
            m_accepted = image_passes();
            if (!m_accepted)
                reply[1] = kRefused;
        }
        return;
    case kRead:
        for (std::size_t i = 0; i < 16; ++i)
            reply[5 + i] = m_flash[(address + i) & 0xFFFF];
        reply[4] = 16;
        return;
    case kSignatureOrStage:
        if (buffered) {
            const std::size_t offset = b(3);
            if (b(2) != 0 || !data || length != 16 || offset + 16 > kPage) {
                reply[1] = kRefused;
                return;
            }
            std::copy_n(data, 16, m_stage.begin() + static_cast<std::ptrdiff_t>(offset));
            return;
        }
        if (!data || length > 16) {
            reply[1] = kRefused;
            return;
        }
        put_signature(address, data, length);
        return;
    case kSignatureBuffered:
        if (!buffered || !data || length > 16) {
            reply.clear();
            return;
        }
        put_signature(address, data, length);
        return;
    case kBuffered:
        if (!buffered) {
            reply.clear();
            return;
        }
        handle_buffered(r, reply);
        return;
    case kRestart:
        restart = true;
        return;
    case kVersion:
    case kVersionAlt: {
        if (m_silent_version) {
            reply.clear();
            return;
        }
        char text[32];
        std::snprintf(text, sizeof text, "RQR%02X.%02X_B%04X", m_application.number, m_application.release,
                      m_application.build);
        reply = text_reply(command, text);
        return;
    }
    case kBootloaderVersion: {
        char text[32];
        std::snprintf(text, sizeof text, "BOT%02X.%02X_B%04X", static_cast<unsigned>(m_config.family),
                      m_application.bootloaderMajor, m_application.bootloaderMinor);
        reply = text_reply(command, text);
        return;
    }
    default:
        reply.clear();   // unknown commands go unanswered
        return;
    }
}

void SimBootloader::handle_buffered(const Bytes& r, Bytes& reply)
{
    auto b = [&](std::size_t i) -> std::uint8_t { return i < r.size() ? r[i] : 0; };
    const std::uint32_t address = static_cast<std::uint32_t>(b(2)) << 8 | b(3);
    switch (b(4) == 1 ? b(5) : 0xFF) {
    case 0:   // erase the whole application area
        erase(m_config.windowStart, m_config.windowEnd + 1u);
        return;
    case 2:   // open a page
        m_stage.fill(0xFF);
        return;
    case 1:   // commit the staged page
        if (!in_window(address, 1)) {
            reply[1] = kRefused;
            return;
        }
        program(address, m_stage.data(),
                std::min<std::size_t>(kPage, static_cast<std::size_t>(m_config.windowEnd) + 1 - address));
        return;
    case 3:   // end of update: check the image and start it at the next restart
        m_accepted = image_passes();
        if (!m_accepted)
            reply[1] = kRefused;
        return;
    default:
        reply[1] = kRefused;
        return;
    }
}

bool SimBootloader::in_window(std::uint32_t address, std::size_t length) const
{
    return address >= m_config.windowStart && address + length - 1 <= m_config.windowEnd;
}

void SimBootloader::program(std::uint32_t address, const std::uint8_t* data, std::size_t length)
{
    // Flash only clears bits: an unerased area keeps garbage, as it would.
    for (std::size_t i = 0; i < length && address + i < kFlashSize; ++i)
        m_flash[address + i] &= data[i];
    m_programmed = true;
    m_accepted = false;
}

void SimBootloader::erase(std::uint32_t from, std::uint32_t to)
{
    for (std::uint32_t a = from; a < to && a < kFlashSize; ++a)
        m_flash[a] = 0xFF;
    m_programmed = false;
    m_accepted = false;
    m_signature_blocks = 0;
}

void SimBootloader::put_signature(std::uint32_t offset, const std::uint8_t* data, std::size_t length)
{
    // Bytes beyond the 256 of a signature are ignored.
    for (std::size_t i = 0; i < length && offset + i < m_signature.size(); ++i) {
        m_signature[offset + i] = data[i];
        m_signature_blocks |= 1u << ((offset + i) / 16);
    }
}

bool SimBootloader::image_passes() const
{
    if (!m_programmed)
        return false;
    if (m_signature_blocks == 0)
        return !m_config.signatureRequired;
    if (m_reject_signature || m_signature_blocks != 0xFFFFu)
        return false;
    const std::size_t end = static_cast<std::size_t>(m_config.windowEnd) + 1;
    return m_signature == quillon::firmwareSignature(m_flash.data(), end);
}

SimBootloader::Bytes SimBootloader::text_reply(std::uint8_t command, const std::string& text) const
{
    Bytes reply(kReportLength, 0);
    reply[1] = command;
    const std::size_t n = std::min<std::size_t>(text.size(), 28);
    reply[4] = static_cast<std::uint8_t>(n);
    std::copy_n(text.begin(), n, reply.begin() + 5);
    return reply;
}

SimBootloader::Bytes SimBootloader::flash(std::uint32_t address, std::size_t length) const
{
    std::lock_guard<std::mutex> lock(m_mutex);
    Bytes out;
    for (std::size_t i = 0; i < length && address + i < kFlashSize; ++i)
        out.push_back(m_flash[address + i]);
    return out;
}

bool SimBootloader::accepted() const
{
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_accepted;
}

unsigned SimBootloader::command_count(std::uint8_t command) const
{
    std::lock_guard<std::mutex> lock(m_mutex);
    if (command == 0)
        return m_total;
    auto it = m_counts.find(command);
    return it == m_counts.end() ? 0 : it->second;
}

std::vector<SimBootloader::Bytes> SimBootloader::written() const
{
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_log;
}

}  // namespace platform::sim
