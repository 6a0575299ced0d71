#include "Blowfish.h"

#include <cstring>

namespace qv {

namespace {

std::uint32_t load_be(const std::uint8_t* p)
{
    return (std::uint32_t{p[0]} << 24) | (std::uint32_t{p[1]} << 16) | (std::uint32_t{p[2]} << 8) | p[3];
}

void store_be(std::uint8_t* p, std::uint32_t v)
{
    p[0] = static_cast<std::uint8_t>(v >> 24);
    p[1] = static_cast<std::uint8_t>(v >> 16);
    p[2] = static_cast<std::uint8_t>(v >> 8);
    p[3] = static_cast<std::uint8_t>(v);
}

}  // namespace

Blowfish::Blowfish(const std::uint8_t* key, std::size_t length)
{
    if (length < 1 || length > 56 || !key)
        throw std::invalid_argument("Invalid key length used to initialize BlowFish.");
    std::memcpy(m_s, kInitS, sizeof m_s);
    std::size_t k = 0;
    for (int i = 0; i < 18; ++i) {
        std::uint32_t word = 0;
        for (int j = 0; j < 4; ++j) {
            word = (word << 8) | key[k];
            k = (k + 1) % length;
        }
        m_p[i] = kInitP[i] ^ word;
    }
    std::uint32_t l = 0, r = 0;
    for (int i = 0; i < 18; i += 2) {
        encipher(l, r);
        m_p[i] = l;
        m_p[i + 1] = r;
    }
    for (int s = 0; s < 4; ++s)
        for (int i = 0; i < 256; i += 2) {
            encipher(l, r);
            m_s[s][i] = l;
            m_s[s][i + 1] = r;
        }
}

std::uint32_t Blowfish::f(std::uint32_t x) const
{
    return ((m_s[0][x >> 24] + m_s[1][(x >> 16) & 0xFF]) ^ m_s[2][(x >> 8) & 0xFF]) + m_s[3][x & 0xFF];
}

void Blowfish::encipher(std::uint32_t& left, std::uint32_t& right) const
{
    std::uint32_t l = left, r = right;
    for (int i = 0; i < 16; ++i) {
        l ^= m_p[i];
        r ^= f(l);
        std::swap(l, r);
    }
    std::swap(l, r);
    r ^= m_p[16];
    l ^= m_p[17];
    left = l;
    right = r;
}

void Blowfish::decipher(std::uint32_t& left, std::uint32_t& right) const
{
    std::uint32_t l = left, r = right;
    for (int i = 17; i > 1; --i) {
        l ^= m_p[i];
        r ^= f(l);
        std::swap(l, r);
    }
    std::swap(l, r);
    r ^= m_p[1];
    l ^= m_p[0];
    left = l;
    right = r;
}

void Blowfish::cbc_decipher(const std::uint8_t* in, std::uint8_t* out, std::size_t length, std::uint8_t* chain) const
{
    if (length % 8 != 0)
        throw std::invalid_argument("Invalid buffer size was passed to a Blowfish encryption or decryption routine.");
    for (std::size_t i = 0; i < length; i += 8) {
        std::uint8_t block[8];
        std::memcpy(block, in + i, 8);
        std::uint32_t l = load_be(block), r = load_be(block + 4);
        decipher(l, r);
        store_be(out + i, l ^ load_be(chain));
        store_be(out + i + 4, r ^ load_be(chain + 4));
        std::memcpy(chain, block, 8);
    }
}

void Blowfish::cbc_encipher(const std::uint8_t* in, std::uint8_t* out, std::size_t length, std::uint8_t* chain) const
{
    if (length % 8 != 0)
        throw std::invalid_argument("Invalid buffer size was passed to a Blowfish encryption or decryption routine.");
    for (std::size_t i = 0; i < length; i += 8) {
        std::uint32_t l = load_be(in + i) ^ load_be(chain), r = load_be(in + i + 4) ^ load_be(chain + 4);
        encipher(l, r);
        store_be(out + i, l);
        store_be(out + i + 4, r);
        std::memcpy(chain, out + i, 8);
    }
}

}  // namespace qv
