#include "devices/SimOta.h"

#include "devices/SimProtocolDevice.h"

#include <algorithm>

namespace platform::sim {

namespace {

constexpr std::uint16_t kDfuOverTheAir = 0x00C0;
constexpr std::uint8_t kSetShort = 0x80;
constexpr std::uint8_t kGetShort = 0x81;
constexpr std::uint8_t kSetLong = 0x82;
constexpr std::uint8_t kGetLong = 0x83;
constexpr std::uint8_t kErrInvalidSubId = 0x01;
constexpr std::uint8_t kErrInvalidAddress = 0x02;
constexpr std::uint8_t kErrInvalidValue = 0x03;

constexpr std::uint8_t kAcknowledged = 0x00;
constexpr std::uint8_t kRestart = 0x02;
constexpr std::uint8_t kChecked = 0x04;
constexpr std::uint8_t kError = 0x08;

std::uint8_t at(const Bytes& b, std::size_t i) { return i < b.size() ? b[i] : 0; }

Bytes short_reply(const Bytes& cmd, std::uint8_t b4, std::uint8_t b5, std::uint8_t b6)
{
    return {0x10, at(cmd, 1), at(cmd, 2), at(cmd, 3), b4, b5, b6};
}

Bytes register_error(const Bytes& cmd, std::uint8_t error)
{
    return {0x10, at(cmd, 1), 0x8F, at(cmd, 2), at(cmd, 3), error, 0};
}

}  // namespace

SimOta::SimOta(SimProtocolDevice& device) : m_device(device) {}

void SimOta::set_enabled(bool on)
{
    std::lock_guard<std::mutex> lock(m_device.m_mutex);
    m_enabled = on;
}

void SimOta::set_fault(Fault fault, unsigned packet)
{
    std::lock_guard<std::mutex> lock(m_device.m_mutex);
    m_fault = fault;
    m_fault_at = m_packets + packet;
}

void SimOta::set_fault_repeats(bool on)
{
    std::lock_guard<std::mutex> lock(m_device.m_mutex);
    m_fault_repeats = on;
}

void SimOta::set_relink_delay(std::chrono::milliseconds delay)
{
    std::lock_guard<std::mutex> lock(m_device.m_mutex);
    m_relink = delay;
}

void SimOta::set_check_polls(unsigned polls)
{
    std::lock_guard<std::mutex> lock(m_device.m_mutex);
    m_check_polls = polls;
}

void SimOta::set_battery_register_0d(bool on)
{
    std::lock_guard<std::mutex> lock(m_device.m_mutex);
    m_battery_0d = on;
}

void SimOta::set_leave_before_reply(bool on)
{
    std::lock_guard<std::mutex> lock(m_device.m_mutex);
    m_leave_first = on;
}

bool SimOta::in_bootloader() const
{
    std::lock_guard<std::mutex> lock(m_device.m_mutex);
    return m_bootloader;
}

bool SimOta::routed() const
{
    std::lock_guard<std::mutex> lock(m_device.m_mutex);
    return m_routed;
}

bool SimOta::checked() const
{
    std::lock_guard<std::mutex> lock(m_device.m_mutex);
    return m_checked;
}

Bytes SimOta::image() const
{
    std::lock_guard<std::mutex> lock(m_device.m_mutex);
    return m_image;
}

unsigned SimOta::packets() const
{
    std::lock_guard<std::mutex> lock(m_device.m_mutex);
    return m_packets;
}

std::uint32_t SimOta::serial() const
{
    std::lock_guard<std::mutex> lock(m_device.m_mutex);
    return m_device.m_config.unit_id;
}

std::chrono::steady_clock::time_point SimOta::after_reply() const
{
    // Replies leave after the latency; the link goes after them.
    return std::chrono::steady_clock::now() + m_device.m_config.latency + std::chrono::milliseconds(2);
}

void SimOta::route(bool on)
{
    std::lock_guard<std::mutex> lock(m_device.m_mutex);
    if (!m_bootloader || m_routed == on)
        return;
    m_routed = on;
    const auto now = std::chrono::steady_clock::now();
    if (on)
        m_device.queue_event(SimProtocolDevice::Event::Arrive, std::max(now, m_leave_due) + m_relink);
    else
        m_device.queue_event(SimProtocolDevice::Event::Leave, std::max(now, m_leave_due));
}

bool SimOta::handle(const Bytes& cmd, std::vector<Bytes>& out)
{
    if (!m_enabled)
        return false;
    const std::uint8_t sub = at(cmd, 2);
    const bool registerRequest = sub >= kSetShort && sub <= kGetLong;
    if (m_bootloader) {
        // The bootloader speaks registers only; any feature request is an unknown sub-id.
        if (!registerRequest || !register_request(cmd, out))
            out.push_back(register_error(cmd, registerRequest ? kErrInvalidAddress : kErrInvalidSubId));
        return true;
    }
    if (m_device.m_protocol10)
        return registerRequest && register_request(cmd, out);
    const auto& table = m_device.table();
    if (sub >= table.size() || table[sub].id != kDfuOverTheAir)
        return false;
    if ((at(cmd, 3) >> 4) != 0) {
        out.push_back(m_device.error_reply(cmd, kSimErrInvalidFunction));
    } else if (at(cmd, 4) != 'D' || at(cmd, 5) != 'F' || at(cmd, 6) != 'U') {
        out.push_back(m_device.error_reply(cmd, kSimErrInvalidArgument));
    } else {
        out.push_back(m_device.reply(cmd, {at(cmd, 4), at(cmd, 5), at(cmd, 6)}));
        enter_bootloader();
    }
    return true;
}

bool SimOta::register_request(const Bytes& cmd, std::vector<Bytes>& out)
{
    const std::uint8_t sub = at(cmd, 2), reg = at(cmd, 3);
    if (version_or_battery(cmd, out))
        return true;
    if (!m_bootloader && sub == kSetShort && reg == 0xF0) {
        if (at(cmd, 4) != 'O' || at(cmd, 5) != 'T' || at(cmd, 6) != 'A') {
            out.push_back(register_error(cmd, kErrInvalidValue));
            return true;
        }
        out.push_back(short_reply(cmd, 0, 0, 0));
        enter_bootloader();
        return true;
    }
    if (m_bootloader && sub == kSetLong && reg == 0xE2) {
        packet(cmd, out);
        return true;
    }
    return false;
}

bool SimOta::version_or_battery(const Bytes& cmd, std::vector<Bytes>& out)
{
    if (at(cmd, 2) != kGetShort)
        return false;
    const SimProtocolConfig& c = m_device.m_config;
    const std::uint8_t level = c.battery_level;
    switch (at(cmd, 3)) {
    case 0x07:
        // Level class: 0 unknown, 1 critical, 7 good; charging state 0: discharging.
        out.push_back(short_reply(cmd, level == 0 ? 0 : level <= 30 ? 1 : 7, 0, 0));
        return true;
    case 0x0D:
        if (!m_battery_0d)
            return false;
        // 24-bit value, high byte first: bits 22..23 the charging state (0 discharging), the
        // low 7 bits the level in percent.
        out.push_back(short_reply(cmd, 0, 0, static_cast<std::uint8_t>(std::min<unsigned>(level, 100))));
        return true;
    case 0xF1: {
        auto entity = [&](std::uint8_t type) {
            for (const auto& f : c.firmware)
                if (f.type == type)
                    return f;
            return SimFirmwareEntity{};
        };
        const SimFirmwareEntity app = entity(0);
        std::uint16_t value;
        switch (at(cmd, 4)) {
        case 1: value = app.number; break;
        case 2: value = app.build; break;
        case 3: value = entity(2).number; break;
        case 4: value = entity(1).number; break;
        default:
            out.push_back(register_error(cmd, kErrInvalidValue));
            return true;
        }
        out.push_back(short_reply(cmd, at(cmd, 4), static_cast<std::uint8_t>(value >> 8), static_cast<std::uint8_t>(value)));
        return true;
    }
    default:
        return false;
    }
}

void SimOta::packet(const Bytes& cmd, std::vector<Bytes>& out)
{
    ++m_packets;
    const bool hit = m_fault != Fault::None && (m_fault_repeats ? m_packets >= m_fault_at : m_packets == m_fault_at);
    if (hit && m_fault == Fault::LinkLoss) {
        // Lost with the link; the device links again on its own.
        const auto leave = after_reply();
        m_device.queue_event(SimProtocolDevice::Event::Leave, leave);
        m_device.queue_event(SimProtocolDevice::Event::Arrive, leave + m_relink);
        return;
    }
    const std::uint8_t command = at(cmd, 4);
    std::uint8_t status = kAcknowledged;
    if (hit && m_fault == Fault::RestartRequest) {
        status = kRestart;
    } else if (hit && m_fault == Fault::ErrorStatus) {
        status = kError;
    } else if (hit && m_fault == Fault::Checked) {
        status = kChecked;
    } else {
        switch (command) {
        case 2:
            m_image.assign(cmd.begin() + std::min<std::size_t>(cmd.size(), 5),
                           cmd.begin() + std::min<std::size_t>(cmd.size(), 20));
            m_started = true;
            m_damaged = true;
            m_checked = false;
            m_polls = 0;
            m_expect = 1;
            m_last = 2;
            break;
        case 0:
        case 1:
            if (!m_started) {
                status = kRestart;
            } else if (command == m_expect) {
                m_image.insert(m_image.end(), cmd.begin() + std::min<std::size_t>(cmd.size(), 5),
                               cmd.begin() + std::min<std::size_t>(cmd.size(), 20));
                m_last = command;
                m_expect ^= 1;
            } else if (command != m_last) {
                status = kRestart;   // out of sequence; a repeat of the last one is taken again
            }
            break;
        case 8:
            if (!m_started)
                status = kError;
            else if (m_fault != Fault::NeverChecked && ++m_polls >= m_check_polls)
                m_checked = true;
            status = m_checked ? kChecked : status;
            break;
        case 4:
            leave_bootloader();
            break;
        default:
            status = kError;
            break;
        }
    }
    out.push_back(short_reply(cmd, status, 0, 0));
}

void SimOta::enter_bootloader()
{
    m_bootloader = true;
    m_routed = false;
    // Due at once is still behind anything queued; the earliest time goes ahead of the reply.
    m_leave_due = m_leave_first ? std::chrono::steady_clock::time_point{} : after_reply();
    m_device.queue_event(SimProtocolDevice::Event::Leave, m_leave_due);
}

void SimOta::leave_bootloader()
{
    if (m_checked) {
        for (auto& f : m_device.m_config.firmware)
            if (f.type == 0) {
                f.number = m_device.m_config.updated_number;
                f.build = m_device.m_config.updated_build;
                break;
            }
        m_damaged = false;
    }
    m_started = false;
    m_checked = false;
    // With an image begun and not checked there is no application to start: back to waiting.
    m_bootloader = m_damaged;
    m_routed = false;
    m_leave_due = after_reply();
    m_device.queue_event(SimProtocolDevice::Event::Leave, m_leave_due);
    if (!m_bootloader)
        m_device.queue_event(SimProtocolDevice::Event::Arrive, m_leave_due + m_relink);
}

}  // namespace platform::sim
