#pragma once
#include <cstdint>
#include <vector>

namespace devio {

using Byte = std::uint8_t;
using Bytes = std::vector<Byte>;

// Numbered error codes; 0 is success. The numbers are the contract, so they stay plain integers.
using ErrorCode = std::uint32_t;

} // namespace devio
