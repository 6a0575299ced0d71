#include "features/Feature6100TouchPadRawXY.h"

#include "features/FeatureHelpers.h"
#include "features/FeatureRegistry.h"

namespace devio {

namespace {
IFeature6100TouchPadRawXY::TouchPoint point_at(const std::vector<Byte>& p, std::size_t at)
{
    IFeature6100TouchPadRawXY::TouchPoint t;
    // 14-bit values: the top two bits of each word are dropped.
    t.x = sign14(read_be16(p, at));
    t.y = sign14(read_be16(p, at + 2));
    t.byteA = byte_at(p, at + 4);
    t.byteB = byte_at(p, at + 5);
    t.nibble = byte_at(p, at + 6) >> 4;
    return t;
}
} // namespace

IFeature6100TouchPadRawXY::DualXYData Feature6100TouchPadRawXY::decode_dual_xy(const std::vector<Byte>& payload)
{
    const std::vector<Byte>& p = payload;
    DualXYData d;
    d.leadingWord = read_be16(p, 0);
    d.point1 = point_at(p, 2);
    d.point2 = point_at(p, 9);
    d.flag0 = bit_at(p, 8, 0);
    d.flag1 = bit_at(p, 8, 1);
    d.flag2 = bit_at(p, 8, 2);
    d.flag3 = bit_at(p, 8, 3);
    d.trailingNibble = byte_at(p, 15) & 0x0F;
    return d;
}

IFeature6100TouchPadRawXY::TouchPadInfo Feature6100TouchPadRawXY::decode_info(const std::vector<Byte>& reply)
{
    const std::vector<Byte>& r = reply;
    TouchPadInfo info;
    info.first = read_be16(r, 0);
    info.second = read_be16(r, 2);
    for (std::size_t i = 0; i < 5; ++i)
        info.bytes[i] = byte_at(r, 4 + i);
    info.bit = byte_at(r, 9) & 0x01;
    info.byte12 = byte_at(r, 12);
    info.third = read_be16(r, 13);
    info.byte15 = byte_at(r, 15);
    return info;
}

bool Feature6100TouchPadRawXY::GetTouchPadInfo(TouchPadInfo* info)
{
    std::vector<Byte> reply;
    if (!read_reply(*this, 0, {}, ReplyRule::strict(16), reply))
        return false;
    if (info)
        *info = decode_info(reply);
    return true;
}

bool Feature6100TouchPadRawXY::GetMode(std::uint8_t* mode)
{
    std::vector<Byte> reply;
    if (!read_reply(*this, 1, {}, ReplyRule::strict(1), reply))
        return false;
    if (mode)
        *mode = reply[0];
    return true;
}

bool Feature6100TouchPadRawXY::SetMode(std::uint8_t mode)
{
    if (!begin_setting_change())
        return false;
    return write_request(*this, 2, {mode});
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
