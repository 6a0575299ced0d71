#include "features/Feature2201AdjustableDPI.h"

#include "core/ErrorRecord.h"
#include "features/FeatureHelpers.h"
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
    return shared_ops::get_sensor_count(*this, count);
}

bool Feature2201AdjustableDPI::GetSensorDpiList(std::vector<unsigned short>& list, std::uint32_t& step,
                                                std::uint8_t sensor)
{
    list.clear();
    step = 0;
    std::vector<Byte> reply;
    if (!read_reply(*this, 1, {sensor}, ReplyRule::any(), reply, 1))
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
    if (!read_reply(*this, 2, {sensor}, ReplyRule::strict(3), reply))
        return false;
    dpi = read_be16(reply, 1);
    return true;
}

bool Feature2201AdjustableDPI::GetSensorSecondDpi(unsigned short& dpi, std::uint8_t sensor)
{
    dpi = 0;
    std::vector<Byte> reply;
    if (!read_reply(*this, 2, {sensor}, ReplyRule::fit(0, 5), reply, 1))
        return false;
    dpi = read_be16(reply, 3);
    return true;
}

bool Feature2201AdjustableDPI::SetSensorDpi(short dpi, std::uint8_t sensor)
{
    const auto value = static_cast<std::uint16_t>(dpi);
    return write_request(*this, 3, {sensor, Byte(value >> 8), Byte(value)});
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
