#include "features/Feature1982Backlight.h"

#include "features/FeatureHelpers.h"
#include "features/FeatureRegistry.h"

namespace devio {

bool Feature1982Backlight::GetBacklightConfig(BacklightConfig* config, BacklightOptions* options)
{
    std::vector<Byte> r;
    if (!read_reply(*this, 0, {}, ReplyRule::strict(3), r))
        return false;
    if (config)
        *config = {bit_at(r, 0, 0), bit_at(r, 1, 0), bit_at(r, 1, 1), bit_at(r, 1, 2)};
    if (options)
        *options = {bit_at(r, 2, 0), bit_at(r, 2, 1), bit_at(r, 2, 2)};
    return true;
}

bool Feature1982Backlight::SetBacklightConfig(const BacklightConfig& config)
{
    const Byte flags = static_cast<Byte>((config.config1 ? 1 : 0) | (config.config2 ? 2 : 0) | (config.config3 ? 4 : 0));
    return write_request(*this, 1, {static_cast<Byte>(config.config0 ? 1 : 0), flags});
}

bool Feature1982Backlight::GetBacklightInfo(std::uint8_t* a, std::uint8_t* b, std::uint8_t* c)
{
    return shared_ops::get_three_bytes(*this, 2, a, b, c);
}

void Feature1982Backlight::on_notification(int function, const std::vector<Byte>& payload)
{
    Byte a = 0, b = 0;
    std::uint8_t value = 0;
    if (!shared_ops::decode_backlight_event(function, payload, a, b, value))
        return;
    const auto status = static_cast<BacklightStatus>(value);
    Producer<Report>::notify([a, b, status](Report* s) { s->onBacklightInfoEvent(a, b, status); },
                             "Feature1982Backlight::Report::onBacklightInfoEvent");
}

} // namespace devio

DEVIO_REGISTER_FEATURE(Feature1982Backlight, 0x1982)
