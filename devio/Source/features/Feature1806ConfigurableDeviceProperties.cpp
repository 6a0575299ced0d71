#include "features/Feature1806ConfigurableDeviceProperties.h"

#include "features/FeatureHelpers.h"
#include "features/FeatureRegistry.h"

#include <algorithm>

namespace devio {

bool Feature1806ConfigurableDeviceProperties::GetMaxValue(std::uint32_t& value)
{
    std::vector<Byte> r;
    value = 0;
    if (!read_reply(*this, 0, {}, ReplyRule::quiet(1), r, 1))
        return false;
    value = r[0];
    return true;
}

bool Feature1806ConfigurableDeviceProperties::WriteChunks(std::uint8_t first, std::vector<Byte> data,
                                                          std::uint32_t chunkIndex)
{
    // One piece per pass rather than a call per piece, so long data cannot exhaust the stack.
    std::size_t at = 0;
    for (;;) {
        const std::size_t n = std::min<std::size_t>(data.size() - at, 15);
        std::vector<Byte> params;
        params.reserve(1 + n);
        params.push_back(first);
        params.insert(params.end(), data.begin() + static_cast<std::ptrdiff_t>(at),
                      data.begin() + static_cast<std::ptrdiff_t>(at + n));
        if (!write_request(*this, 1, params))
            return false;
        if (data.size() - at <= 15)
            return true;
        at += 15;
        ++chunkIndex;
        first = static_cast<std::uint8_t>((15 * chunkIndex) % 256);
    }
}

bool Feature1806ConfigurableDeviceProperties::SetBoundedValue(std::uint32_t value)
{
    std::uint32_t max = 0;
    if (!GetMaxValue(max))
        return false;
    return write_request(*this, 2, {static_cast<Byte>(std::min(value, max))});
}

bool Feature1806ConfigurableDeviceProperties::SetFunction3Value(std::uint8_t value)
{
    return write_request(*this, 3, {value});
}

bool Feature1806ConfigurableDeviceProperties::WriteProperty(std::uint8_t id, std::uint8_t flag, std::uint8_t value,
                                                            std::vector<Byte> data)
{
    // Data shorter than 14 bytes is sent zero-filled rather than read past its end.
    std::vector<Byte> params{id, static_cast<Byte>((flag == 1 ? 0x80 : 0) | (value & 0x7F))};
    for (std::size_t k = 0; k < 14; ++k)
        params.push_back(byte_at(data, k));
    return write_request(*this, 4, params);
}

bool Feature1806ConfigurableDeviceProperties::ReadProperty(std::uint32_t& id, bool& flag, std::uint32_t& value,
                                                           std::array<Byte, 14>& buffer)
{
    const std::vector<Byte> params{static_cast<Byte>(id), static_cast<Byte>((flag ? 0x80 : 0) | (value & 0x7F))};
    std::vector<Byte> r;
    // A short reply report carries 3 bytes: the record reads zeros beyond them.
    if (!read_reply(*this, 5, params, ReplyRule::fit(0, 16), r))
        return false;
    id = r[0];
    flag = (r[1] & 0x80) != 0;
    value = r[1] & 0x7F;
    std::copy(r.begin() + 2, r.begin() + 16, buffer.begin());
    return true;
}

} // namespace devio

DEVIO_REGISTER_FEATURE(Feature1806ConfigurableDeviceProperties, 0x1806)
