#pragma once
// The one hexadecimal digit reader behind the application's version texts.

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

} // namespace quillon
