// Report mappings between protocol reports and GATT characteristic values, and the product ids
// read from a GATT interface path and a PnP ID value. Pure: tests and fuzzers reach them directly.
#pragma once

#include "core/Types.h"

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace devio {

constexpr std::size_t kGattReportLength = 20;

// Win32 GATT, device to host: [0x10 under 8 bytes else 0x11], 0xFF (normal form only), the
// value; cut or zero-filled to 20. `length` is the size before cutting or filling.
std::vector<Byte> gatt_value_to_report(const Byte* value, std::size_t size, bool directIndex, unsigned& length);
// Win32 GATT, host to device, for a report of 2 to 20 bytes: normal form drops report id and
// device index and trailing zeros (one byte stays); direct-index form sends bytes 1 to 19 of the
// report zero-filled to 20.
std::vector<Byte> gatt_report_to_value(const std::vector<Byte>& report, bool directIndex);
// The 4 characters 21 after the "}" of "}_dev_vid&02" as hexadecimal; 0 when they are no number.
std::uint16_t gatt_path_product_id(const std::string& path);

// Windows Runtime, host to device: bytes 2 on, exactly 18 (zero-filled or cut).
std::vector<Byte> winrt_report_to_payload(const std::vector<Byte>& report);
// Windows Runtime, device to host: [0x10 up to 7 bytes else 0x11], 0xFF, the value, made 20
// bytes; `length` is value size + 2.
std::vector<Byte> winrt_value_to_report(const Byte* value, std::size_t size, unsigned& length);
// Bytes 3 and 4 (little-endian) of a PnP ID; empty for a value under 5 bytes.
std::optional<std::uint16_t> pnp_id_product_id(const Byte* value, std::size_t size);

} // namespace devio
