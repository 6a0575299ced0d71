#include "devices/SimReceiver.h"

namespace platform {
namespace sim {

namespace {
constexpr std::uint8_t kShort = 0x10;
constexpr std::uint8_t kLong = 0x11;
constexpr std::uint8_t kReceiverIndex = 0xFF;
constexpr std::uint8_t kSetShort = 0x80;
constexpr std::uint8_t kGetShort = 0x81;
constexpr std::uint8_t kGetLong = 0x83;
constexpr std::uint8_t kErrorSubId = 0x8F;
}  // namespace

SimReceiver::SimReceiver(std::uint16_t productId, std::uint32_t serial)
    : m_product_id(productId), m_serial(serial) {}

void SimReceiver::set_sink(Sink sink) {
    std::lock_guard<std::mutex> lock(m_mutex);
    m_sink = std::move(sink);
}

SimReceiver::Reg& SimReceiver::reg(std::uint8_t r) {
    switch (r) {
    case 0x00: return m_reg00;
    case 0x02: return m_reg02;
    case 0x03: return m_reg03;
    case 0xB2: return m_regB2;
    case 0xB3: return m_regB3;
    case 0xB5: return m_regB5;
    default: return m_other;
    }
}

void SimReceiver::emit(const std::vector<Bytes>& out) {
    Sink sink;
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        sink = m_sink;
    }
    if (!sink) return;
    for (const auto& r : out) sink(r);
}

SimReceiver::Bytes SimReceiver::error_reply(std::uint8_t index, std::uint8_t subId, std::uint8_t r,
                                            std::uint8_t err) const {
    return Bytes{kShort, index, kErrorSubId, subId, r, err, 0};
}

SimReceiver::Bytes SimReceiver::connection_notification(int index, const Paired& p) const {
    // Byte 3: radio protocol (never 2, which marks other notifications); byte 4 bit 0x40: link lost.
    return Bytes{kShort, static_cast<std::uint8_t>(index), 0x41, 0x04,
                 static_cast<std::uint8_t>(p.linked ? 0x00 : 0x40),
                 static_cast<std::uint8_t>(p.wirelessPid & 0xFF),
                 static_cast<std::uint8_t>(p.wirelessPid >> 8)};
}

void SimReceiver::on_output_report(const Bytes& report) {
    if (report.size() < 4) return;   // too short to mean anything; a real receiver ignores it
    const std::uint8_t index = report[1];
    if (index == kReceiverIndex) {
        std::vector<Bytes> out;
        {
            std::lock_guard<std::mutex> lock(m_mutex);
            handle_register(report, out);
        }
        emit(out);
        return;
    }
    std::function<void(const Bytes&)> toDevice;
    Bytes err;
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        if (index >= 1 && index <= kSlots && m_slots[index - 1].paired && m_slots[index - 1].linked)
            toDevice = m_slots[index - 1].toDevice;
        else
            err = error_reply(index, report[2], report[3], kErrUnreachable);
    }
    if (toDevice) {
        toDevice(report);
    } else {
        emit({err});
    }
}

void SimReceiver::handle_register(const Bytes& r, std::vector<Bytes>& out) {
    auto b = [&](std::size_t i) -> std::uint8_t { return i < r.size() ? r[i] : 0; };
    const std::uint8_t subId = b(2), address = b(3);
    std::vector<Bytes> replies;   // subject to dropped replies; notifications are not
    switch (subId) {
    case kSetShort: {
        if (address != 0x00 && address != 0x02 && address != 0x03 && address != 0xB2) {
            replies.push_back(error_reply(kReceiverIndex, subId, address, kErrInvalidAddress));
            break;
        }
        Reg& rg = reg(address);
        ++rg.writes;
        if (address == 0x02) {
            if (b(4) == 0x02 && notifications_on()) {
                int last = -1;
                for (int i = 0; i < kSlots; ++i)
                    if (m_slots[i].paired) last = i;
                for (int i = 0; i < kSlots; ++i) {
                    if (!m_slots[i].paired) continue;
                    if (i == last && m_missing_announcements > 0) continue;
                    out.push_back(connection_notification(i + 1, m_slots[i]));
                }
                if (m_missing_announcements > 0 && last >= 0) --m_missing_announcements;
            }
        } else if (address == 0xB2) {
            const std::uint8_t op = b(4);
            if (op == 1 || op == 2) {
                m_lock_open = op == 1;
                out.push_back(Bytes{kShort, kReceiverIndex, 0x4A,
                                    static_cast<std::uint8_t>(m_lock_open ? 1 : 0), 0, 0, 0});
            } else if (op == 3) {
                const std::uint8_t idx = b(5);
                if (idx < 1 || idx > kSlots || !m_slots[idx - 1].paired) {
                    replies.push_back(error_reply(kReceiverIndex, subId, address, kErrInvalidValue));
                    break;
                }
                m_slots[idx - 1] = Paired{};
                out.push_back(Bytes{kShort, idx, 0x40, 0x02, 0, 0, 0});
            } else {
                replies.push_back(error_reply(kReceiverIndex, subId, address, kErrInvalidValue));
                break;
            }
        } else {
            rg.v[0] = b(4);
            rg.v[1] = b(5);
            rg.v[2] = b(6);
        }
        replies.push_back(Bytes{kShort, kReceiverIndex, kSetShort, address, 0, 0, 0});
        break;
    }
    case kGetShort: {
        if (address != 0x00 && address != 0x02 && address != 0x03) {
            replies.push_back(error_reply(kReceiverIndex, subId, address, kErrInvalidAddress));
            break;
        }
        Reg& rg = reg(address);
        ++rg.reads;
        Bytes reply{kShort, kReceiverIndex, kGetShort, address, rg.v[0], rg.v[1], rg.v[2]};
        if (address == 0x02) {
            std::uint8_t count = 0;
            for (const auto& s : m_slots) count += s.paired ? 1 : 0;
            reply[4] = 0;
            reply[5] = count;
            reply[6] = kSlots;
        }
        replies.push_back(reply);
        break;
    }
    case kGetLong: {
        Bytes reply(20, 0);
        reply[0] = kLong;
        reply[1] = kReceiverIndex;
        reply[2] = kGetLong;
        reply[3] = address;
        if (address == 0xB3) {
            ++m_regB3.reads;
            for (int i = 0; i < 6; ++i) reply[4 + i] = static_cast<std::uint8_t>(0xB0 + i);
        } else if (address == 0xB5) {
            ++m_regB5.reads;
            const std::uint8_t page = b(4);
            reply[4] = page;
            if (page == 0x30) {
                reply[5] = static_cast<std::uint8_t>(m_serial >> 24);
                reply[6] = static_cast<std::uint8_t>(m_serial >> 16);
                reply[7] = static_cast<std::uint8_t>(m_serial >> 8);
                reply[8] = static_cast<std::uint8_t>(m_serial);
            } else if (page >= 0x40 && page < 0x40 + kSlots && m_slots[page - 0x40].paired) {
                const std::string& name = m_slots[page - 0x40].name;
                const std::size_t n = name.size() < 14 ? name.size() : 14;
                reply[5] = static_cast<std::uint8_t>(n);
                for (std::size_t i = 0; i < n; ++i) reply[6 + i] = static_cast<std::uint8_t>(name[i]);
            } else {
                replies.push_back(error_reply(kReceiverIndex, subId, address, kErrInvalidValue));
                break;
            }
        } else {
            replies.push_back(error_reply(kReceiverIndex, subId, address, kErrInvalidAddress));
            break;
        }
        replies.push_back(reply);
        break;
    }
    default:
        replies.push_back(error_reply(kReceiverIndex, subId, address, kErrInvalidSubId));
        break;
    }
    for (auto& reply : replies) {
        if (m_drop_replies > 0) {
            --m_drop_replies;
            continue;
        }
        out.push_back(std::move(reply));
    }
}

bool SimReceiver::pair(int index, std::uint16_t wirelessPid, const std::string& name,
                       std::function<void(const Bytes&)> toDevice, bool linked) {
    Bytes note;
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        if (index < 1 || index > kSlots || m_slots[index - 1].paired) return false;
        Paired& p = m_slots[index - 1];
        p.paired = true;
        p.linked = linked;
        p.wirelessPid = wirelessPid;
        p.name = name;
        p.toDevice = std::move(toDevice);
        if (notifications_on()) note = connection_notification(index, p);
    }
    if (!note.empty()) emit({note});
    return true;
}

void SimReceiver::from_device(int index, Bytes report) {
    if (index < 1 || index > kSlots || report.size() < 2) return;
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        const Paired& p = m_slots[index - 1];
        if (!p.paired || !p.linked) return;   // an unlinked device cannot reach the host
    }
    report[1] = static_cast<std::uint8_t>(index);
    emit({report});
}

void SimReceiver::link(int index) { set_linked(index, true); }

void SimReceiver::unlink(int index) { set_linked(index, false); }

void SimReceiver::set_linked(int index, bool linked) {
    Bytes note;
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        if (index < 1 || index > kSlots || !m_slots[index - 1].paired) return;
        m_slots[index - 1].linked = linked;
        if (notifications_on()) note = connection_notification(index, m_slots[index - 1]);
    }
    if (!note.empty()) emit({note});
}

void SimReceiver::unpair(int index) {
    Bytes note;
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        if (index < 1 || index > kSlots || !m_slots[index - 1].paired) return;
        m_slots[index - 1] = Paired{};
        if (notifications_on())
            note = Bytes{kShort, static_cast<std::uint8_t>(index), 0x40, 0x02, 0, 0, 0};
    }
    if (!note.empty()) emit({note});
}

bool SimReceiver::is_paired(int index) const {
    std::lock_guard<std::mutex> lock(m_mutex);
    return index >= 1 && index <= kSlots && m_slots[index - 1].paired;
}

bool SimReceiver::is_linked(int index) const {
    std::lock_guard<std::mutex> lock(m_mutex);
    return index >= 1 && index <= kSlots && m_slots[index - 1].paired && m_slots[index - 1].linked;
}

void SimReceiver::set_missing_announcements(int times) {
    std::lock_guard<std::mutex> lock(m_mutex);
    m_missing_announcements = times;
}

void SimReceiver::drop_replies(int count) {
    std::lock_guard<std::mutex> lock(m_mutex);
    m_drop_replies = count;
}

void SimReceiver::overwrite_register_zero(std::uint8_t b4, std::uint8_t b5, std::uint8_t b6) {
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_reg00.v[0] = b4;
        m_reg00.v[1] = b5;
        m_reg00.v[2] = b6;
    }
    // The other program's write is acknowledged on every open handle, ours included.
    emit({Bytes{kShort, kReceiverIndex, kSetShort, 0x00, 0, 0, 0}});
}

SimReceiver::Bytes SimReceiver::register_value(std::uint8_t r) const {
    std::lock_guard<std::mutex> lock(m_mutex);
    const Reg& rg = const_cast<SimReceiver*>(this)->reg(r);
    return Bytes{rg.v[0], rg.v[1], rg.v[2]};
}

int SimReceiver::register_writes(std::uint8_t r) const {
    std::lock_guard<std::mutex> lock(m_mutex);
    return const_cast<SimReceiver*>(this)->reg(r).writes;
}

int SimReceiver::register_reads(std::uint8_t r) const {
    std::lock_guard<std::mutex> lock(m_mutex);
    return const_cast<SimReceiver*>(this)->reg(r).reads;
}

bool SimReceiver::lock_open() const {
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_lock_open;
}

}  // namespace sim
}  // namespace platform
