// A test-only encoder of enciphered descriptors: the layout the engine's decoder reads, with
// its key and initialisation vector (taken from the engine, so they live in one place).
#pragma once

#include "Blowfish.h"
#include "DescriptorCodec.h"

#include <cstdint>
#include <string>
#include <vector>

namespace enginetest {

inline void put_be64(std::uint8_t* out, std::uint64_t v)
{
    for (int i = 0; i < 8; ++i)
        out[i] = static_cast<std::uint8_t>(v >> (56 - 8 * i));
}

// The test-only encoder: the layout the decoder reads, with the engine's key and vector.
inline std::vector<std::uint8_t> encipher_descriptor(const std::string& plain)
{
    std::vector<std::uint8_t> out = qv::descriptor_marker();
    const std::uint32_t n = static_cast<std::uint32_t>(plain.size());
    for (int i = 0; i < 4; ++i)
        out.push_back(static_cast<std::uint8_t>(n >> (8 * i)));
    std::vector<std::uint8_t> padded(plain.begin(), plain.end());
    padded.resize((plain.size() + 7) / 8 * 8, 0);
    std::vector<std::uint8_t> cipher(padded.size());
    std::uint8_t chain[8];
    put_be64(chain, (std::uint64_t{qv::kDescriptorIvLeft} << 32) | qv::kDescriptorIvRight);
    // The key schedule is the costly part: made once (the fuzz target enciphers per input).
    static const qv::Blowfish bf(qv::descriptor_key().data(), qv::descriptor_key().size());
    if (!padded.empty())
        bf.cbc_encipher(padded.data(), cipher.data(), padded.size(), chain);
    out.insert(out.end(), cipher.begin(), cipher.end());
    std::uint32_t l = (std::uint32_t{chain[0]} << 24) | (chain[1] << 16) | (chain[2] << 8) | chain[3];
    std::uint32_t r = (std::uint32_t{chain[4]} << 24) | (chain[5] << 16) | (chain[6] << 8) | chain[7];
    bf.encipher(l, r);
    for (std::uint32_t w : {l, r})
        for (int i = 0; i < 4; ++i)
            out.push_back(static_cast<std::uint8_t>(w >> (8 * i)));
    return out;
}

}  // namespace enginetest
