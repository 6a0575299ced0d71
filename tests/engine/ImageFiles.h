// Test-side images: Intel HEX text from bytes, their signature, and files seeded in the machine.
#pragma once

#include "devices/FirmwareSignature.h"

#include <sim/Kernel.h>

#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

namespace enginetest {

// Bytes of a recognisable image from address 0.
inline std::vector<std::uint8_t> make_image(std::size_t size, std::uint8_t seed = 0x5A)
{
    std::vector<std::uint8_t> image(size);
    for (std::size_t i = 0; i < size; ++i)
        image[i] = static_cast<std::uint8_t>(seed + i * 7 + (i >> 8));
    return image;
}

// One HEX record line.
inline std::string hex_record(std::uint8_t type, std::uint16_t address, const std::vector<std::uint8_t>& data)
{
    char head[16];
    std::snprintf(head, sizeof head, ":%02X%04X%02X", static_cast<unsigned>(data.size()), address, type);
    std::string line = head;
    unsigned sum = static_cast<unsigned>(data.size()) + (address >> 8) + (address & 0xFF) + type;
    char byte[4];
    for (std::uint8_t b : data) {
        std::snprintf(byte, sizeof byte, "%02X", b);
        line += byte;
        sum += b;
    }
    std::snprintf(byte, sizeof byte, "%02X", (0x100 - (sum & 0xFF)) & 0xFF);
    return line + byte + "\r\n";
}

// The image as Intel HEX, `perRecord` bytes to a line, from `base`.
inline std::string hex_text(const std::vector<std::uint8_t>& image, std::size_t perRecord = 16, std::uint16_t base = 0)
{
    std::string text;
    for (std::size_t at = 0; at < image.size(); at += perRecord) {
        const std::size_t n = std::min(perRecord, image.size() - at);
        text += hex_record(0, static_cast<std::uint16_t>(base + at),
                           std::vector<std::uint8_t>(image.begin() + static_cast<std::ptrdiff_t>(at),
                                                     image.begin() + static_cast<std::ptrdiff_t>(at + n)));
    }
    return text + ":00000001FF\r\n";
}

inline std::string signature_bytes(const std::vector<std::uint8_t>& image)
{
    const auto s = quillon::firmwareSignature(image);
    return std::string(s.begin(), s.end());
}

inline std::string bytes_text(const std::vector<std::uint8_t>& bytes)
{
    return std::string(bytes.begin(), bytes.end());
}

}  // namespace enginetest
