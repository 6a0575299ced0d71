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
    : m_product_id(productId), m_serial(serial), m_version(default_receiver_firmware(productId).version) {}

SimReceiver::~SimReceiver() {
    m_scheduler.stop();
}

void SimReceiver::set_sink(Sink sink) {
    std::lock_guard<std::recursive_mutex> delivery(m_delivery_mutex);
    std::lock_guard<std::mutex> lock(m_mutex);
    m_sink = std::move(sink);
}

void SimReceiver::set_latency(std::chrono::microseconds latency) {
    std::lock_guard<std::mutex> lock(m_mutex);
    m_latency = latency;
}

void SimReceiver::set_version(const SimReceiverVersion& version) {
    std::lock_guard<std::mutex> lock(m_mutex);
    m_version = version;
}

SimReceiverVersion SimReceiver::version() const {
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_version;
}

void SimReceiver::restart() {
    std::lock_guard<std::mutex> lock(m_mutex);
    m_reg00 = Reg{};
    m_regF0 = Reg{};
    m_lock_open = false;
}

void SimReceiver::set_bootloader_handler(std::function<void()> handler) {
    std::lock_guard<std::mutex> lock(m_mutex);
    m_bootloader_handler = std::move(handler);
}

void SimReceiver::set_route_handler(std::function<void(int, bool)> handler) {
    std::lock_guard<std::mutex> lock(m_mutex);
    m_route_handler = std::move(handler);
}

void SimReceiver::set_paired_details(int index, const PairedDetails& details) {
    std::lock_guard<std::mutex> lock(m_mutex);
    if (index >= 1 && index <= kSlots)
        m_slots[index - 1].details = details;
}

void SimReceiver::deliver(std::vector<Bytes> out, std::vector<Task> later) {
    if (out.empty() && later.empty()) return;
    std::chrono::microseconds latency;
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        latency = m_latency;
    }
    if (latency.count() == 0) {
        emit(out);
        // Later steps never run on the writer's thread: they may unplug the receiver, which
        // waits for the host's windows.
        for (auto& task : later) m_scheduler.post_after(latency, std::move(task));
        return;
    }
    m_scheduler.post_after(latency, [this, out = std::move(out), later = std::move(later)] {
        emit(out);
        for (const auto& task : later) task();
    });
}

SimReceiver::Reg& SimReceiver::reg(std::uint8_t r) {
    switch (r) {
    case 0x00: return m_reg00;
    case 0x02: return m_reg02;
    case 0x03: return m_reg03;
    case 0xB2: return m_regB2;
    case 0xB3: return m_regB3;
    case 0xB5: return m_regB5;
    case 0xF0: return m_regF0;
    case 0xF1: return m_regF1;
    default: return m_other;
    }
}

void SimReceiver::emit(const std::vector<Bytes>& out) {
    std::lock_guard<std::recursive_mutex> delivery(m_delivery_mutex);
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
    return Bytes{kShort, static_cast<std::uint8_t>(index), 0x41, p.details.protocol,
                 static_cast<std::uint8_t>((p.linked ? 0x00 : 0x40) | (p.details.deviceType & 0x0F)),
                 static_cast<std::uint8_t>(p.wirelessPid & 0xFF),
                 static_cast<std::uint8_t>(p.wirelessPid >> 8)};
}

void SimReceiver::on_output_report(const Bytes& report) {
    if (report.size() < 4) return;   // too short to mean anything; a real receiver ignores it
    const std::uint8_t index = report[1];
    if (index == kReceiverIndex) {
        std::vector<Bytes> out;
        std::vector<Task> later;
        std::lock_guard<std::recursive_mutex> order(m_delivery_mutex);
        {
            std::lock_guard<std::mutex> lock(m_mutex);
            handle_register(report, out, later);
        }
        deliver(std::move(out), std::move(later));
        return;
    }
    std::function<bool(const Bytes&)> toDevice;
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        if (index >= 1 && index <= kSlots && m_slots[index - 1].paired && m_slots[index - 1].linked)
            toDevice = m_slots[index - 1].toDevice;
    }
    if (toDevice && toDevice(report)) return;
    deliver({error_reply(index, report[2], report[3], kErrUnreachable)});
}

void SimReceiver::handle_register(const Bytes& r, std::vector<Bytes>& out, std::vector<Task>& later) {
    auto b = [&](std::size_t i) -> std::uint8_t { return i < r.size() ? r[i] : 0; };
    const std::uint8_t subId = b(2), address = b(3);
    std::vector<Bytes> replies;   // subject to dropped replies; notifications are not
    if (!handle_firmware_register(r, replies, later)) switch (subId) {
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
        if (m_drop_read_count > 0 && address == m_drop_read_reg) {
            if (m_drop_read_after > 0) {
                --m_drop_read_after;
            } else {
                --m_drop_read_count;
                break;
            }
        }
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
            const std::size_t before = replies.size();
            long_register_b5(b(4), reply, replies);
            if (replies.size() != before) break;   // answered with an error
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
    std::function<bool(const Bytes&)> taken;
    if (toDevice)
        taken = [toDevice = std::move(toDevice)](const Bytes& report) {
            toDevice(report);
            return true;
        };
    return pair_acknowledged(index, wirelessPid, name, std::move(taken), linked);
}

bool SimReceiver::pair_acknowledged(int index, std::uint16_t wirelessPid, const std::string& name,
                                    std::function<bool(const Bytes&)> toDevice, bool linked) {
    Bytes note;
    std::lock_guard<std::recursive_mutex> order(m_delivery_mutex);
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
    if (!note.empty()) deliver({note});
    return true;
}

void SimReceiver::from_device(int index, Bytes report) {
    if (index < 1 || index > kSlots || report.size() < 2) return;
    // A report the device sent while linked leaves ahead of the notice of a link lost after it.
    std::lock_guard<std::recursive_mutex> order(m_delivery_mutex);
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        const Paired& p = m_slots[index - 1];
        if (!p.paired || !p.linked) return;   // an unlinked device cannot reach the host
    }
    report[1] = static_cast<std::uint8_t>(index);
    deliver({report});
}

void SimReceiver::link(int index) { set_linked(index, true); }

void SimReceiver::unlink(int index) { set_linked(index, false); }

void SimReceiver::set_linked(int index, bool linked) {
    Bytes note;
    std::lock_guard<std::recursive_mutex> order(m_delivery_mutex);
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        if (index < 1 || index > kSlots || !m_slots[index - 1].paired) return;
        m_slots[index - 1].linked = linked;
        if (notifications_on()) note = connection_notification(index, m_slots[index - 1]);
    }
    if (!note.empty()) deliver({note});
}

void SimReceiver::unpair(int index) {
    Bytes note;
    std::lock_guard<std::recursive_mutex> order(m_delivery_mutex);
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        if (index < 1 || index > kSlots || !m_slots[index - 1].paired) return;
        m_slots[index - 1] = Paired{};
        if (notifications_on())
            note = Bytes{kShort, static_cast<std::uint8_t>(index), 0x40, 0x02, 0, 0, 0};
    }
    if (!note.empty()) deliver({note});
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

void SimReceiver::drop_read_replies(std::uint8_t reg, int after, int count) {
    std::lock_guard<std::mutex> lock(m_mutex);
    m_drop_read_reg = reg;
    m_drop_read_after = after;
    m_drop_read_count = count;
}

void SimReceiver::overwrite_register_zero(std::uint8_t b4, std::uint8_t b5, std::uint8_t b6) {
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_reg00.v[0] = b4;
        m_reg00.v[1] = b5;
        m_reg00.v[2] = b6;
    }
    // The other program's write is acknowledged on every open handle, ours included.
    deliver({Bytes{kShort, kReceiverIndex, kSetShort, 0x00, 0, 0, 0}});
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

void SimReceiver::shut_down() {
    m_scheduler.stop();
}

bool SimReceiver::handle_firmware_register(const Bytes& r, std::vector<Bytes>& replies, std::vector<Task>& later) {
    auto b = [&](std::size_t i) -> std::uint8_t { return i < r.size() ? r[i] : 0; };
    const std::uint8_t subId = b(2), address = b(3);
    if (address == 0xF1 && subId == kGetShort) {
        ++m_regF1.reads;
        const SimReceiverVersion& v = m_version;
        Bytes reply{kShort, kReceiverIndex, kGetShort, 0xF1, b(4), 0, 0};
        auto put16 = [&](std::uint16_t value) {
            reply[5] = static_cast<std::uint8_t>(value >> 8);
            reply[6] = static_cast<std::uint8_t>(value);
        };
        switch (b(4)) {
        case 1: reply[5] = v.number; reply[6] = v.release; break;
        case 2: put16(v.build); break;
        case 3: put16(v.hardware); break;
        case 4: reply[5] = v.bootloaderMajor; reply[6] = v.bootloaderMinor; break;
        default:
            replies.push_back(error_reply(kReceiverIndex, subId, address, kErrInvalidValue));
            return true;
        }
        replies.push_back(reply);
        return true;
    }
    if (address != 0xF0 || (subId != kSetShort && subId != kGetShort)) return false;
    if (subId == kGetShort) {
        ++m_regF0.reads;
        replies.push_back(Bytes{kShort, kReceiverIndex, kGetShort, 0xF0, m_regF0.v[0], m_regF0.v[1], m_regF0.v[2]});
        return true;
    }
    const std::uint8_t t0 = b(4), t1 = b(5), t2 = b(6);
    Task task;
    if (t0 == 'I' && t1 == 'C' && t2 == 'P') {
        // Without a bootloader the command is taken and nothing follows.
        // The receiver leaves a little after its reply, so the reply reaches the host first.
        if (auto handler = m_bootloader_handler)
            task = [this, handler] { m_scheduler.post_after(std::chrono::milliseconds(20), handler); };
    } else if (t0 == 'L' && t1 == 'T' && (t2 == 'u' || (t2 >= 1 && t2 <= kSlots))) {
        const int index = t2 == 'u' ? 0 : t2;
        if (auto route = m_route_handler) task = [route, index] { route(index, true); };
    } else if (t0 == 'X' && t1 == 'I' && t2 == 'T') {
        if (auto route = m_route_handler) task = [route] { route(0, false); };
    } else {
        replies.push_back(error_reply(kReceiverIndex, subId, address, kErrInvalidValue));
        return true;
    }
    ++m_regF0.writes;
    m_regF0.v[0] = t0;
    m_regF0.v[1] = t1;
    m_regF0.v[2] = t2;
    replies.push_back(Bytes{kShort, kReceiverIndex, kSetShort, 0xF0, 0, 0, 0});
    if (task) later.push_back(std::move(task));
    return true;
}

void SimReceiver::long_register_b5(std::uint8_t page, Bytes& reply, std::vector<Bytes>& replies) {
    reply[4] = page;
    auto put32 = [&](std::uint32_t v) {
        reply[5] = static_cast<std::uint8_t>(v >> 24);
        reply[6] = static_cast<std::uint8_t>(v >> 16);
        reply[7] = static_cast<std::uint8_t>(v >> 8);
        reply[8] = static_cast<std::uint8_t>(v);
    };
    auto fail = [&] { replies.push_back(error_reply(kReceiverIndex, kGetLong, 0xB5, kErrInvalidValue)); };
    if (page == 0x03) {
        put32(m_serial);
    } else if (page >= 0x30 && page < 0x30 + kSlots) {
        const Paired& p = m_slots[page - 0x30];
        // Page 0x30 keeps the receiver's serial where the receiver bus reads it.
        if (page == 0x30)
            put32(m_serial);
        else if (!p.paired)
            return fail();
        else
            put32(p.details.serial);
        if (p.paired) reply[13] = p.details.slider;
    } else if (page >= 0x40 && page < 0x40 + kSlots && m_slots[page - 0x40].paired) {
        const std::string& name = m_slots[page - 0x40].name;
        const std::size_t n = name.size() < 14 ? name.size() : 14;
        reply[5] = static_cast<std::uint8_t>(n);
        for (std::size_t i = 0; i < n; ++i) reply[6 + i] = static_cast<std::uint8_t>(name[i]);
    } else {
        fail();
    }
}

}  // namespace sim
}  // namespace platform
