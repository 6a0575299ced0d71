#include "features/Feature8040BrightnessControl.h"

#include "features/FeatureHelpers.h"
#include "features/FeatureRegistry.h"

namespace devio {

bool Feature8040BrightnessControl::GetBrightnessInfo(BrightnessInfo& info)
{
    std::vector<Byte> r;
    if (!read_reply(*this, 0, {}, ReplyRule::strict(6), r))
        return false;
    info.infoWord = read_be16(r, 0);
    info.infoByte2 = r[2];
    info.infoByte3 = r[3];
    return true;
}

bool Feature8040BrightnessControl::GetBrightness(std::uint16_t& brightness)
{
    std::vector<Byte> r;
    if (!read_reply(*this, 1, {}, ReplyRule::strict(2), r))
        return false;
    brightness = read_be16(r, 0);
    return true;
}

bool Feature8040BrightnessControl::SetBrightness(std::int16_t brightness)
{
    std::vector<Byte> params;
    put_be16(params, static_cast<std::uint16_t>(brightness));
    return write_request(*this, 2, params);
}

void Feature8040BrightnessControl::on_notification(int function, const std::vector<Byte>& payload)
{
    if (function != 0 || payload.size() < 2)
        return;
    const std::uint16_t brightness = read_be16(payload, 0);
    Producer<Report>::notify([brightness](Report* s) { s->onBrightnessChanged(brightness); },
                             "Feature8040BrightnessControl::Report::onBrightnessChanged");
}

} // namespace devio

DEVIO_REGISTER_FEATURE(Feature8040BrightnessControl, 0x8040)
