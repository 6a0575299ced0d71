#include "DescriptorCodec.h"

#include "Blowfish.h"

#include <cstring>
#include <string>

namespace qv {

namespace {

std::vector<std::uint8_t> utf16le(const std::string& ascii)
{
    std::vector<std::uint8_t> out;
    for (char c : ascii) {
        out.push_back(static_cast<std::uint8_t>(c));
        out.push_back(0);
    }
    return out;
}

std::uint32_t load_le(const std::uint8_t* p)
{
    return std::uint32_t{p[0]} | (std::uint32_t{p[1]} << 8) | (std::uint32_t{p[2]} << 16) | (std::uint32_t{p[3]} << 24);
}

}  // namespace

const std::vector<std::uint8_t>& descriptor_marker()
{
    static const std::vector<std::uint8_t> marker = [] {
        auto m = utf16le("# Tarnwick Encryption {630514KK-27946J018-40716293058-P52817Q};");
        m.push_back(0);
        m.push_back(0);
        return m;
    }();
    return marker;
}

const std::vector<std::uint8_t>& descriptor_key()
{
    static const std::vector<std::uint8_t> key = [] {
        const std::string text = "Lanterns-4C7A92D1-E05B-4a8e-9F3C-7D21B6E8A045";
        auto k = utf16le(text);
        // The character count serves as the byte count.
        k.resize(text.size());
        return k;
    }();
    return key;
}

std::optional<std::vector<std::uint8_t>> decode_descriptor(const std::uint8_t* bytes, std::size_t size)
{
    const auto& marker = descriptor_marker();
    if (size < marker.size() || std::memcmp(bytes, marker.data(), marker.size()) != 0)
        return std::vector<std::uint8_t>(bytes, bytes + size);
    if (size < 132)
        return std::nullopt;
    const std::uint64_t n = load_le(bytes + 128);
    // 64-bit: a length near 4 GiB must not wrap to a small P.
    const std::uint64_t p = (n + 7) / 8 * 8;
    if (static_cast<std::uint64_t>(size) != p + 140)
        return std::nullopt;
    const Blowfish cipher(descriptor_key().data(), descriptor_key().size());
    std::uint8_t chain[8];
    const std::uint32_t iv[2] = {kDescriptorIvLeft, kDescriptorIvRight};
    for (int i = 0; i < 2; ++i)
        for (int b = 0; b < 4; ++b)
            chain[i * 4 + b] = static_cast<std::uint8_t>(iv[i] >> (24 - 8 * b));
    std::vector<std::uint8_t> plain(static_cast<std::size_t>(p) + 1, 0);
    cipher.cbc_decipher(bytes + 132, plain.data(), static_cast<std::size_t>(p), chain);
    std::uint32_t l = (std::uint32_t{chain[0]} << 24) | (std::uint32_t{chain[1]} << 16) | (std::uint32_t{chain[2]} << 8) | chain[3];
    std::uint32_t r = (std::uint32_t{chain[4]} << 24) | (std::uint32_t{chain[5]} << 16) | (std::uint32_t{chain[6]} << 8) | chain[7];
    cipher.encipher(l, r);
    const std::uint8_t* check = bytes + 132 + p;
    if (l != load_le(check) || r != load_le(check + 4))
        return std::nullopt;
    plain.resize(static_cast<std::size_t>(n));
    return plain;
}

}  // namespace qv
