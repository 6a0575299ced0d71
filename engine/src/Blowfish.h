// The published Blowfish block cipher (64-bit blocks, 16 rounds) with CBC deciphering.
#pragma once

#include <cstddef>
#include <cstdint>
#include <stdexcept>

namespace qv {

class Blowfish {
public:
    // Throws std::invalid_argument for a key length outside 1..56.
    Blowfish(const std::uint8_t* key, std::size_t length);

    void encipher(std::uint32_t& left, std::uint32_t& right) const;
    void decipher(std::uint32_t& left, std::uint32_t& right) const;
    // CBC over whole blocks, halves read high byte first; `chain` (8 bytes) ends as the last
    // ciphertext block. Throws std::invalid_argument when length is not a multiple of 8.
    void cbc_decipher(const std::uint8_t* in, std::uint8_t* out, std::size_t length, std::uint8_t* chain) const;
    void cbc_encipher(const std::uint8_t* in, std::uint8_t* out, std::size_t length, std::uint8_t* chain) const;

    static const std::uint32_t kInitP[18];
    static const std::uint32_t kInitS[4][256];

private:
    std::uint32_t f(std::uint32_t x) const;

    std::uint32_t m_p[18];
    std::uint32_t m_s[4][256];
};

}  // namespace qv
