#include "features/Feature2201AdjustableDPI.h"

#include "core/ErrorRecord.h"
#include "features/FeatureRegistry.h"

#include <algorithm>

namespace devio {

std::uint32_t Feature2201AdjustableDPI::parse_dpi_list(const std::vector<Byte>& b, std::uint8_t sensor,
                                                       std::vector<unsigned short>& list, std::uint32_t& step)
{
    list.clear();
    step = 0;
    const std::size_t n = b.size();
    if (n < 5)
        return 2;
    if (b[0] != sensor)
        return 56;
    for (std::size_t i = 1;; i += 2) {
        if (i + 1 >= n)
            return i >= n ? 0 : 56; // a lone byte cannot close the list
        const Byte hi = b[i];
        const Byte lo = b[i + 1];
        if (hi == 0 && lo == 0)
            return 0;
        if (hi == 0xE0)
            step = lo;
        else
            list.push_back(static_cast<unsigned short>(hi << 8 | lo));
    }
}

bool Feature2201AdjustableDPI::GetSensorCount(std::uint32_t& count)
{
    std::vector<Byte> reply;
    if (!execute_payload(0, {}, 1, 1, reply))
        return false;
    count = reply[0];
    return true;
}

bool Feature2201AdjustableDPI::GetSensorDpiList(std::vector<unsigned short>& list, std::uint32_t& step,
                                                std::uint8_t sensor)
{
    list.clear();
    step = 0;
    std::vector<Byte> reply;
    if (!execute(1, {sensor}, reply, 1))
        return false;
    if (const std::uint32_t code = parse_dpi_list(reply, sensor, list, step)) {
        set_last_error(code, 0, nullptr);
        return false;
    }
    return true;
}

bool Feature2201AdjustableDPI::GetSensorDpi(unsigned short& dpi, std::uint8_t sensor)
{
    dpi = 0;
    std::vector<Byte> reply;
    if (!execute_payload(2, {sensor}, 0, 3, reply))
        return false;
    dpi = be16(reply, 1);
    return true;
}

bool Feature2201AdjustableDPI::GetSensorSecondDpi(unsigned short& dpi, std::uint8_t sensor)
{
    dpi = 0;
    std::vector<Byte> reply(5, 0);
    if (!execute(2, {sensor}, reply, 1))
        return false;
    dpi = be16(padded(reply, 5), 3);
    return true;
}

bool Feature2201AdjustableDPI::SetSensorDpi(short dpi, std::uint8_t sensor)
{
    const auto value = static_cast<std::uint16_t>(dpi);
    std::vector<Byte> reply;
    return execute(3, {sensor, Byte(value >> 8), Byte(value)}, reply, 0);
}

bool Feature2201AdjustableDPI::SetSensorDpiClamped(unsigned short dpi, std::uint32_t sensor)
{
    std::vector<unsigned short> list;
    std::uint32_t step = 0;
    const auto sensorByte = static_cast<std::uint8_t>(sensor);
    if (!GetSensorDpiList(list, step, sensorByte))
        return false;
    // Without a bound there is nothing to clamp to.
    if (list.empty()) {
        set_last_error(46, 0, nullptr);
        return false;
    }
    const unsigned short low = list.front();
    const unsigned short high = list.back();
    const unsigned short value = dpi < low ? low : std::min(dpi, high);
    return SetSensorDpi(static_cast<short>(value), sensorByte);
}

} // namespace devio

DEVIO_REGISTER_FEATURE(Feature2201AdjustableDPI, 0x2201)
