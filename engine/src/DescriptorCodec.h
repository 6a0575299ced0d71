// Enciphered firmware descriptors: a marker, the plain length, Blowfish-CBC ciphertext and a
// check block. Any other file is plain text and passes unchanged.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <vector>

namespace qv {

// The initialisation vector's two halves (left, right).
constexpr std::uint32_t kDescriptorIvLeft = 0x51C7A0E3;
constexpr std::uint32_t kDescriptorIvRight = 0x9B2D4F68;

// 63 UTF-16LE characters and a NUL: 128 bytes.
const std::vector<std::uint8_t>& descriptor_marker();
// The key: the first 45 bytes of the UTF-16LE key text.
const std::vector<std::uint8_t>& descriptor_key();

// The plain text, or nothing when an enciphered file's size or check block is wrong.
std::optional<std::vector<std::uint8_t>> decode_descriptor(const std::uint8_t* bytes, std::size_t size);

}  // namespace qv
