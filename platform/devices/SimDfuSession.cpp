#include "devices/SimDfuSession.h"

#include "devices/SimProtocolDevice.h"

#include <algorithm>

namespace platform::sim {

namespace {
constexpr std::uint8_t kStatusNext = 1;
constexpr std::uint8_t kStatusDone = 2;
constexpr std::uint8_t kStatusBusy = 3;
constexpr std::uint8_t kStatusOutOfSequence = 4;
constexpr std::uint8_t kStatusRadioDone = 6;
constexpr std::uint8_t kStatusNotStarted = 0;
} // namespace

std::size_t bootloader_entity_order(const std::vector<SimFirmwareEntity>& firmware, std::size_t index)
{
    std::vector<std::size_t> order;
    for (std::size_t i = 0; i < firmware.size(); ++i)
        if (firmware[i].type == 1)
            order.push_back(i);
    for (std::size_t i = 0; i < firmware.size(); ++i)
        if (firmware[i].type != 1)
            order.push_back(i);
    return index < order.size() ? order[index] : index;
}

std::uint32_t SimDfuSession::packet_count() const
{
    return m_header ? m_header->packetCount() : m_default_count;
}

Bytes SimDfuSession::status_record(std::uint8_t status) const
{
    return Bytes{static_cast<std::uint8_t>(m_next >> 24), static_cast<std::uint8_t>(m_next >> 16),
                 static_cast<std::uint8_t>(m_next >> 8), static_cast<std::uint8_t>(m_next), status};
}

std::uint8_t SimDfuSession::final_status() const
{
    if (m_header && m_header->radioStack)
        return kStatusRadioDone;
    return m_faults.successAs5 ? 5 : kStatusDone;
}

SimDfuAnswer SimDfuSession::answer(std::uint8_t status)
{
    SimDfuAnswer a;
    if (m_by_notification && status == kStatusNext) {
        a.replies.push_back(status_record(kStatusBusy));
        a.notifications.push_back(status_record(status));
    } else {
        a.replies.push_back(status_record(status));
    }
    return a;
}

SimDfuAnswer SimDfuSession::start(const Bytes& packet)
{
    ++m_packets_received;
    m_image.assign(packet.begin(), packet.end());
    m_image.resize(quillon::dfu::kPacketSize, 0);
    m_started = true;
    m_complete = false;
    m_silent = false;
    m_resent = false;
    m_next = 1;
    quillon::dfu::Header header;
    if (quillon::dfu::decodeHeader(m_image.data(), m_image.size(), &header))
        m_header = header;
    else
        m_header.reset();
    // A bootloader refuses an image built for another product.
    if (m_header && m_product_id != 0 && m_header->productId != m_product_id) {
        m_started = false;
        return answer(kStatusOutOfSequence);
    }
    if (m_faults.failAtPacket == 0) {
        m_started = false;
        return answer(m_faults.failStatus);
    }
    if (m_faults.busyThenSilentAt == 0) {
        m_silent = true;
        return answer(kStatusBusy);
    }
    // The start packet is always answered directly.
    SimDfuAnswer a;
    if (m_faults.startAsksForPacket0 || m_faults.stuckAt == 0) {
        m_next = 0;
        a.replies.push_back(status_record(kStatusNext));
        return a;
    }
    m_complete = m_next >= packet_count();
    a.replies.push_back(status_record(m_complete ? final_status() : kStatusNext));
    return a;
}

SimDfuAnswer SimDfuSession::data(std::uint8_t function, const Bytes& packet)
{
    ++m_packets_received;
    if (m_silent)
        return {};
    if (!m_started)
        return answer(kStatusNotStarted);
    if (static_cast<int>(m_next) == m_faults.stuckAt)
        return answer(kStatusNext);
    // Packet n travels on function (n + 1) & 3.
    if (function != ((m_next + 1) & 3))
        return answer(kStatusOutOfSequence);
    const auto k = static_cast<int>(m_next);
    if (k == m_faults.failAtPacket) {
        m_started = false;
        return answer(m_faults.failStatus);
    }
    if (k == m_faults.busyThenSilentAt) {
        m_silent = true;
        return answer(kStatusBusy);
    }
    if (k == m_faults.resendAt && !m_resent && k >= 1) {
        m_resent = true;
        m_next = static_cast<std::uint32_t>(k - 1);
        m_image.resize(static_cast<std::size_t>(m_next) * quillon::dfu::kPacketSize);
        return answer(kStatusNext);
    }
    const std::size_t at = static_cast<std::size_t>(m_next) * quillon::dfu::kPacketSize;
    m_image.resize(at + quillon::dfu::kPacketSize, 0);
    std::copy_n(packet.begin(), std::min(packet.size(), quillon::dfu::kPacketSize), m_image.begin() + static_cast<std::ptrdiff_t>(at));
    ++m_next;
    const std::uint8_t status = m_next >= packet_count() ? final_status() : kStatusNext;
    m_complete = m_next >= packet_count();
    if (k == m_faults.shortReportAt) {
        SimDfuAnswer a;
        Bytes record = status_record(status);
        a.replies.push_back(Bytes(record.begin(), record.begin() + 3));
        a.notifications.push_back(record);
        return a;
    }
    return answer(status);
}

SimDfuRestart SimDfuSession::restart()
{
    const bool complete = m_started && m_complete;
    m_started = false;
    m_silent = false;
    if (!complete)
        return SimDfuRestart::Unchanged;
    ++m_completed;
    m_complete = false;
    return m_header && m_header->radioStack ? SimDfuRestart::Bootloader : SimDfuRestart::Application;
}

Bytes SimDfuSession::image() const
{
    if (!m_header)
        return m_image;
    const std::size_t whole = quillon::dfu::kHeaderSize + m_header->length;
    Bytes out = m_image;
    if (out.size() > whole)
        out.resize(whole);
    return out;
}

} // namespace platform::sim
