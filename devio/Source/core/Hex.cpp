#include "core/Hex.h"

namespace devio {

namespace {
const char k_digits[] = "0123456789ABCDEF";
} // namespace

int hex_digit_value(char c)
{
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    return -1;
}

std::vector<Byte> hex_to_bytes(const std::string& text)
{
    std::vector<Byte> out;
    if (text.size() < 2)
        return out;
    for (std::size_t i = 0; i + 1 < text.size(); i += 2) {
        const int high = hex_digit_value(text[i]);
        const int low = hex_digit_value(text[i + 1]);
        if (high >= 0 && low >= 0)
            out.push_back(static_cast<Byte>(high * 16 + low));
    }
    return out;
}

std::string bytes_to_hex(std::vector<Byte> bytes)
{
    std::string out;
    out.reserve(bytes.size() * 2);
    for (Byte b : bytes) {
        out += k_digits[b >> 4];
        out += k_digits[b & 0x0F];
    }
    return out;
}

std::string to_hex_string(std::uint32_t value)
{
    std::string out;
    do {
        out.insert(out.begin(), k_digits[value & 0x0F]);
        value >>= 4;
    } while (value);
    return out;
}

std::string to_hex_string_width(std::uint32_t value, std::uint32_t width)
{
    std::string out = to_hex_string(value);
    if (out.size() < width)
        out.insert(0, width - out.size(), '0');
    return out;
}

} // namespace devio
