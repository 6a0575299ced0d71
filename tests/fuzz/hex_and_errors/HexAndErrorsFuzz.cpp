// Hex texts (cache files) and device replies checked against their command: the hex helpers keep
// their round trip, and any reply, however short or odd, is matched, stored and judged without
// reading past its end.
#include "core/DeviceRequest.h"
#include "core/ErrorRecord.h"
#include "core/Hex.h"

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    using devio::Byte;
    const std::string text(reinterpret_cast<const char*>(data), size);
    const std::vector<Byte> bytes(data, data + size);

    // Hex text, either way round.
    const std::vector<Byte> decoded = devio::hex_to_bytes(text);
    if (decoded.size() > size / 2 || devio::hex_to_bytes(devio::bytes_to_hex(bytes)) != bytes)
        std::abort();
    if (size >= 5) {
        const std::uint32_t value = data[0] | (std::uint32_t(data[1]) << 8) | (std::uint32_t(data[2]) << 16) |
                                    (std::uint32_t(data[3]) << 24);
        const std::string plain = devio::to_hex_string(value);
        const std::string wide = devio::to_hex_string_width(value, data[4] % 16);
        if (wide.size() < plain.size() || wide.compare(wide.size() - plain.size(), plain.size(), plain) != 0)
            std::abort();
    }

    // A command (first byte: its length) and a reply (the rest).
    if (size < 1)
        return 0;
    const std::size_t commandLength = std::min<std::size_t>(data[0] % 21, size - 1);
    std::vector<Byte> command(data + 1, data + 1 + commandLength);
    const std::vector<Byte> reply(data + 1 + commandLength, data + size);
    auto request = std::make_shared<devio::DeviceRequest>(std::weak_ptr<devio::IDeviceRequestHost>(), command, 1,
                                                          std::vector<unsigned>{4, 5, 9});
    request->is_response(reply);
    request->set_response(reply);
    request->check_response();
    request->payload();
    request->resize_response(reply.size() + 2);
    devio::set_last_error(0);
    return 0;
}
