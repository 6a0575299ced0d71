#include "devices/FirmwareSignature.h"

namespace quillon {

namespace {

std::uint64_t mix(std::uint64_t x)
{
    x += 0x9E3779B97F4A7C15ull;
    x = (x ^ (x >> 30)) * 0xBF58476D1CE4E5B9ull;
    x = (x ^ (x >> 27)) * 0x94D049BB133111EBull;
    return x ^ (x >> 31);
}

}  // namespace

FirmwareSignature firmwareSignature(const std::uint8_t* image, std::size_t size)
{
    if (!image)
        size = 0;
    while (size > 0 && image[size - 1] == 0xFF)
        --size;
    // Two FNV-1a lanes with different seeds, folded with the length.
    std::uint64_t a = 0xCBF29CE484222325ull;
    std::uint64_t b = 0x84222325CBF29CE4ull;
    for (std::size_t i = 0; i < size; ++i) {
        a = (a ^ image[i]) * 0x100000001B3ull;
        b = (b ^ static_cast<std::uint8_t>(image[i] + i)) * 0x100000001B3ull;
    }
    std::uint64_t state = mix(a ^ mix(b) ^ mix(static_cast<std::uint64_t>(size)));
    FirmwareSignature out{};
    for (std::size_t i = 0; i < out.size(); i += 8) {
        state = mix(state + i);
        for (std::size_t k = 0; k < 8; ++k)
            out[i + k] = static_cast<std::uint8_t>(state >> (8 * k));
    }
    return out;
}

FirmwareSignature firmwareSignature(const std::vector<std::uint8_t>& image)
{
    return firmwareSignature(image.data(), image.size());
}

}  // namespace quillon
