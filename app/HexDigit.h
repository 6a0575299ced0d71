#pragma once
// The one hexadecimal digit reader behind the application's version texts.
#include <cstddef>
#include <cstdint>
#include <string_view>

namespace quillon {

// Value of one hexadecimal digit, either case; -1 for anything else.
inline int hex_digit(char c)
{
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    return -1;
}

// A whole text of 1 to `maxDigits` (at most 8) hexadecimal digits; false, `out` untouched, for
// anything else.
inline bool read_hex_digits(std::string_view text, std::size_t maxDigits, std::uint32_t* out)
{
    if (text.empty() || text.size() > maxDigits)
        return false;
    std::uint32_t value = 0;
    for (char c : text) {
        const int digit = hex_digit(c);
        if (digit < 0)
            return false;
        value = (value << 4) | static_cast<std::uint32_t>(digit);
    }
    *out = value;
    return true;
}

} // namespace quillon
