// Our device firmware image (".dfu"): a 16-byte header, then the firmware itself.
// The header is the first packet of a transfer, so a bootloader knows from packet 0 how many
// packets follow, which version it installs and whether the image carries the radio stack.
//
//   0..3   magic "QDFU"
//   4..5   product id of the device it is built for (big-endian)
//   6..9   length of the firmware after the header (big-endian)
//   10..11 version installed: number in the high byte, revision in the low byte (big-endian)
//   12..13 build installed (big-endian)
//   14     flags: bit 0 radio stack
//   15     zero
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace quillon::dfu {

constexpr std::size_t kHeaderSize = 16;
constexpr std::size_t kPacketSize = 16;
constexpr std::uint8_t kMagic[4] = {'Q', 'D', 'F', 'U'};
constexpr std::uint8_t kFlagRadioStack = 0x01;
// A bootloader takes no image above this size.
constexpr std::uint32_t kMaxLength = 16u * 1024u * 1024u;

struct Header {
    std::uint16_t productId = 0;
    std::uint32_t length = 0;
    std::uint16_t version = 0;
    std::uint16_t build = 0;
    bool radioStack = false;

    // Packets of the whole image, header included.
    std::uint32_t packetCount() const
    {
        return static_cast<std::uint32_t>((kHeaderSize + length + kPacketSize - 1) / kPacketSize);
    }
};

inline std::vector<std::uint8_t> encodeHeader(const Header& h)
{
    std::vector<std::uint8_t> b(kHeaderSize, 0);
    for (std::size_t i = 0; i < 4; ++i)
        b[i] = kMagic[i];
    b[4] = static_cast<std::uint8_t>(h.productId >> 8);
    b[5] = static_cast<std::uint8_t>(h.productId);
    for (int i = 0; i < 4; ++i)
        b[6 + static_cast<std::size_t>(i)] = static_cast<std::uint8_t>(h.length >> (24 - 8 * i));
    b[10] = static_cast<std::uint8_t>(h.version >> 8);
    b[11] = static_cast<std::uint8_t>(h.version);
    b[12] = static_cast<std::uint8_t>(h.build >> 8);
    b[13] = static_cast<std::uint8_t>(h.build);
    b[14] = h.radioStack ? kFlagRadioStack : 0;
    return b;
}

// False when the bytes are not a header of ours (short, wrong magic, unknown flags, a length
// beyond kMaxLength).
inline bool decodeHeader(const std::uint8_t* data, std::size_t size, Header* out)
{
    if (!data || size < kHeaderSize)
        return false;
    for (std::size_t i = 0; i < 4; ++i)
        if (data[i] != kMagic[i])
            return false;
    if ((data[14] & ~kFlagRadioStack) != 0 || data[15] != 0)
        return false;
    Header h;
    h.productId = static_cast<std::uint16_t>(data[4] << 8 | data[5]);
    h.length = static_cast<std::uint32_t>(data[6]) << 24 | static_cast<std::uint32_t>(data[7]) << 16 |
               static_cast<std::uint32_t>(data[8]) << 8 | data[9];
    if (h.length > kMaxLength)
        return false;
    h.version = static_cast<std::uint16_t>(data[10] << 8 | data[11]);
    h.build = static_cast<std::uint16_t>(data[12] << 8 | data[13]);
    h.radioStack = (data[14] & kFlagRadioStack) != 0;
    if (out)
        *out = h;
    return true;
}

} // namespace quillon::dfu
