// What a firmware transfer through the update feature 0x00D0 sends next, decided from the
// adapter's progress and the device's answers alone: no device, no thread, no clock. The
// protocol adapter drives its transfers with it.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <vector>

// A status record, from the start reply or a status notification.
struct DfuStatusRecord {
    std::uint32_t packet = 0;   // the packet the device expects next
    std::uint8_t status = 0;
};

// Bytes 0..3 (big-endian) and byte 4 of the payload; empty when it is too short to hold them.
std::optional<DfuStatusRecord> readDfuStatusRecord(const std::vector<std::uint8_t>& payload);

enum class DfuVerdict {
    Wait,              // the device is busy; nothing to do
    SendNext,          // send the packet the record names
    Succeeded,         // image complete
    SecondImageDone,   // the radio stack is in; the main image follows after a restart
    Failed,
};

// The meaning of a status notification.
DfuVerdict dfuStatusVerdict(std::uint8_t status);
// The meaning of the start command's reply: 1 names the next packet at once; 0, 2 and 3 leave
// the pace to the notifications; anything above 3 refuses the transfer.
DfuVerdict dfuStartReplyVerdict(std::uint8_t status);

class DfuPacing {
public:
    static constexpr std::size_t kPacketSize = 16;
    // Answers in a row that ask for nothing new (a packet already sent, or one beyond the
    // image) before the transfer is given up: a device may go back a few packets to have them
    // again, but one that keeps asking would keep the update going for ever.
    static constexpr unsigned kMaxRepeats = 32;

    enum class Command { Start, Data, GiveUp };
    struct Packet {
        Command command = Command::GiveUp;
        std::uint32_t number = 0;   // handed to the feature
        // Bytes [begin, end) of the image, padded with zeros to a whole packet; begin == end:
        // the packet goes out empty.
        std::uint64_t begin = 0;
        std::uint64_t end = 0;
    };

    // A new image of `size` bytes: nothing of it sent yet.
    void setImage(std::uint64_t size);
    // Sends the current image again from its start.
    void rewind();

    // The packet to send when the device asks for `requested`. Nothing sent yet: the start
    // command with the first packet, whatever was asked. Otherwise the data command with the
    // packet asked for, or GiveUp when the device asked for nothing new too often in a row.
    Packet next(std::uint32_t requested);
    // The device took `packet`.
    void accepted(const Packet& packet);

    std::uint64_t offset() const { return m_offset; }
    std::uint64_t packetCount() const { return m_packet_count; }
    std::uint64_t imageSize() const { return m_size; }

private:
    std::uint64_t m_size = 0;
    std::uint64_t m_packet_count = 0;
    std::uint64_t m_offset = 0;   // bytes of the image's packets sent and taken, whole packets
    unsigned m_repeats = 0;
};
