#pragma once
#include "core/Types.h"

#include <cstdint>
#include <string>
#include <vector>

namespace devio {

// Value of one hexadecimal digit, either case; -1 for anything else.
int hex_digit_value(char c);
// Pairs of hex digits; pairs with a non-digit and an odd last character are skipped.
std::vector<Byte> hex_to_bytes(const std::string& text);
// Upper case, no separators.
std::string bytes_to_hex(std::vector<Byte> bytes);
std::string to_hex_string(std::uint32_t value);
// Left-padded with '0' to at least width characters.
std::string to_hex_string_width(std::uint32_t value, std::uint32_t width);

} // namespace devio
