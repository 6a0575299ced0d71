#include "DfuPacing.h"

#include <algorithm>

std::optional<DfuStatusRecord> readDfuStatusRecord(const std::vector<std::uint8_t>& payload)
{
    if (payload.size() < 5)
        return std::nullopt;
    DfuStatusRecord record;
    record.packet = static_cast<std::uint32_t>(payload[0]) << 24 | static_cast<std::uint32_t>(payload[1]) << 16 |
                    static_cast<std::uint32_t>(payload[2]) << 8 | payload[3];
    record.status = payload[4];
    return record;
}

DfuVerdict dfuStatusVerdict(std::uint8_t status)
{
    switch (status) {
    case 1:
        return DfuVerdict::SendNext;
    case 2:
    case 5:
        return DfuVerdict::Succeeded;
    case 3:
        return DfuVerdict::Wait;
    case 6:
        return DfuVerdict::SecondImageDone;
    default:
        return DfuVerdict::Failed;
    }
}

DfuVerdict dfuStartReplyVerdict(std::uint8_t status)
{
    if (status > 3)
        return DfuVerdict::Failed;
    return status == 1 ? DfuVerdict::SendNext : DfuVerdict::Wait;
}

void DfuPacing::setImage(std::uint64_t size)
{
    m_size = size;
    m_packet_count = (size + kPacketSize - 1) / kPacketSize;
    rewind();
}

void DfuPacing::rewind()
{
    m_offset = 0;
    m_repeats = 0;
}

DfuPacing::Packet DfuPacing::next(std::uint32_t requested)
{
    Packet p;
    if (m_offset == 0) {
        // The start command carries the first packet, whichever the device named.
        m_repeats = 0;
        p.command = Command::Start;
        p.number = 0;
        p.end = std::min<std::uint64_t>(kPacketSize, m_size);
        return p;
    }
    const std::uint64_t start = static_cast<std::uint64_t>(requested) * kPacketSize;
    const bool fresh = requested < m_packet_count && start >= m_offset;
    if (fresh)
        m_repeats = 0;
    else if (++m_repeats > kMaxRepeats)
        return p;
    // Packet n always carries bytes n x 16 on, so a packet asked for again is the same one.
    // Beyond the image it goes out empty.
    p.command = Command::Data;
    p.number = requested;
    if (requested < m_packet_count && start < m_size) {
        p.begin = start;
        p.end = std::min<std::uint64_t>(start + kPacketSize, m_size);
    }
    return p;
}

void DfuPacing::accepted(const Packet& packet)
{
    if (packet.command == Command::GiveUp)
        return;
    // An empty packet beyond the image moves nothing; the start packet always counts, so the
    // start command goes out once per image, even an empty one.
    std::uint64_t end = 0;
    if (packet.number < m_packet_count)
        end = static_cast<std::uint64_t>(packet.number) + 1;
    else if (packet.command == Command::Start)
        end = 1;
    m_offset = std::max(m_offset, end * kPacketSize);
}
