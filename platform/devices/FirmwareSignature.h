// The signature a receiver bootloader asks of a firmware image. The image generator signs with it
// and the simulated bootloader checks with it, so both agree by construction.
// Depends on the standard library only.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <vector>

namespace quillon {

constexpr std::size_t kFirmwareSignatureSize = 256;
using FirmwareSignature = std::array<std::uint8_t, kFirmwareSignatureSize>;

// `image` is the image as it lies in flash from address 0, erased bytes and gaps 0xFF. Trailing
// 0xFF bytes do not count, so a whole flash area and the image that was written into it give the
// same signature.
FirmwareSignature firmwareSignature(const std::uint8_t* image, std::size_t size);
FirmwareSignature firmwareSignature(const std::vector<std::uint8_t>& image);

}  // namespace quillon
