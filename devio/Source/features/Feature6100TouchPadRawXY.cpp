#include "features/Feature6100TouchPadRawXY.h"

#include "features/FeatureRegistry.h"

namespace devio {

namespace {
// The low 14 bits of a big-endian word, sign-extended from bit 13.
std::int32_t signed14(const std::vector<Byte>& p, std::size_t at)
{
    const std::uint32_t v = be16(p, at) & 0x3FFFu;
    return (v & 0x2000u) ? static_cast<std::int32_t>(v) - 0x4000 : static_cast<std::int32_t>(v);
}

IFeature6100TouchPadRawXY::TouchPoint point_at(const std::vector<Byte>& p, std::size_t at)
{
    IFeature6100TouchPadRawXY::TouchPoint t;
    t.x = signed14(p, at);
    t.y = signed14(p, at + 2);
    t.byteA = p[at + 4];
    t.byteB = p[at + 5];
    t.nibble = p[at + 6] >> 4;
    return t;
}
} // namespace

IFeature6100TouchPadRawXY::DualXYData Feature6100TouchPadRawXY::decode_dual_xy(const std::vector<Byte>& payload)
{
    const std::vector<Byte> p = padded(payload, 16);
    DualXYData d;
    d.leadingWord = be16(p, 0);
    d.point1 = point_at(p, 2);
    d.point2 = point_at(p, 9);
    d.flag0 = (p[8] & 0x01) != 0;
    d.flag1 = (p[8] & 0x02) != 0;
    d.flag2 = (p[8] & 0x04) != 0;
    d.flag3 = (p[8] & 0x08) != 0;
    d.trailingNibble = p[15] & 0x0F;
    return d;
}

IFeature6100TouchPadRawXY::TouchPadInfo Feature6100TouchPadRawXY::decode_info(const std::vector<Byte>& reply)
{
    const std::vector<Byte> r = padded(reply, 16);
    TouchPadInfo info;
    info.first = be16(r, 0);
    info.second = be16(r, 2);
    for (int i = 0; i < 5; ++i)
        info.bytes[i] = r[4 + i];
    info.bit = r[9] & 0x01;
    info.byte12 = r[12];
    info.third = be16(r, 13);
    info.byte15 = r[15];
    return info;
}

bool Feature6100TouchPadRawXY::GetTouchPadInfo(TouchPadInfo* info)
{
    std::vector<Byte> reply;
    if (!execute_payload(0, {}, 0, 16, reply))
        return false;
    if (info)
        *info = decode_info(reply);
    return true;
}

bool Feature6100TouchPadRawXY::GetMode(std::uint8_t* mode)
{
    std::vector<Byte> reply;
    if (!execute_payload(1, {}, 0, 1, reply))
        return false;
    if (mode)
        *mode = reply[0];
    return true;
}

bool Feature6100TouchPadRawXY::SetMode(std::uint8_t mode)
{
    if (!begin_setting_change())
        return false;
    std::vector<Byte> reply;
    return execute(2, {mode}, reply, 0);
}

void Feature6100TouchPadRawXY::on_notification(int /*function*/, const std::vector<Byte>& payload)
{
    if (payload.size() < 16)
        return;
    const DualXYData data = decode_dual_xy(payload);
    Producer<Report>::notify([data](Report* s) { s->onDualXYData(data); },
                             "Feature6100TouchPadRawXY::Report::onDualXYData");
}

void Feature6100TouchPadRawXY::on_unexpected_response(unsigned function, unsigned softwareId,
                                                      const std::vector<Byte>& /*payload*/)
{
    if (function != 2)
        return;
    Producer<Report>::notify([softwareId](Report* s) { s->onModeChanged(softwareId); },
                             "Feature6100TouchPadRawXY::Report::onModeChanged");
}

} // namespace devio

DEVIO_REGISTER_FEATURE(Feature6100TouchPadRawXY, 0x6100)
