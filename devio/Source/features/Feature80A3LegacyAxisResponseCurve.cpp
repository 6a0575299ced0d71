#include "features/Feature80A3LegacyAxisResponseCurve.h"

#include "features/FeatureHelpers.h"
#include "features/FeatureRegistry.h"

namespace devio {

bool Feature80A3LegacyAxisResponseCurve::GetAxisCount(std::uint32_t& count)
{
    std::vector<Byte> r;
    if (!read_reply(*this, 0, {}, ReplyRule::strict(1), r))
        return false;
    count = r[0];
    return true;
}

bool Feature80A3LegacyAxisResponseCurve::GetAxisInfo(std::uint8_t axis, std::uint32_t& a, std::uint32_t& b,
                                                     std::uint32_t& c, std::uint8_t& d)
{
    std::vector<Byte> r;
    if (!read_reply(*this, 1, {axis}, ReplyRule::strict(6), r))
        return false;
    a = read_be16(r, 0);
    b = read_be16(r, 2);
    c = r[4];
    d = r[5];
    return true;
}

bool Feature80A3LegacyAxisResponseCurve::GetAxisCurve(std::uint8_t axis, AxisCurve& curve)
{
    std::vector<Byte> r;
    if (!read_reply(*this, 2, {axis}, ReplyRule::strict(4), r))
        return false;
    curve.point0 = r[0];
    curve.point1 = r[1];
    curve.point2 = r[2];
    curve.enabled = r[3] & 1;
    return true;
}

bool Feature80A3LegacyAxisResponseCurve::SetAxisCurve(std::uint8_t axis, const AxisCurve& curve)
{
    return write_request(*this, 3,
                         {axis, static_cast<Byte>(curve.point0), static_cast<Byte>(curve.point1),
                          static_cast<Byte>(curve.point2), static_cast<Byte>(curve.enabled ? 1 : 0)});
}

bool Feature80A3LegacyAxisResponseCurve::GetCurveValue(std::uint8_t axis, std::uint16_t input, std::uint32_t& output)
{
    std::vector<Byte> params{axis};
    put_be16(params, input);
    std::vector<Byte> r;
    if (!read_reply(*this, 4, params, ReplyRule::strict(2), r))
        return false;
    output = read_be16(r, 0);
    return true;
}

} // namespace devio

DEVIO_REGISTER_FEATURE(Feature80A3LegacyAxisResponseCurve, 0x80A3)
