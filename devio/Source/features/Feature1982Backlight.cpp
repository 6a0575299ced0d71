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
    std::vector<Byte> r;
    if (!read_reply(*this, 2, {}, ReplyRule::strict(3), r))
        return false;
    if (a)
        *a = r[0];
    if (b)
        *b = r[1];
    if (c)
        *c = r[2];
    return true;
}

void Feature1982Backlight::on_notification(int function, const std::vector<Byte>& payload)
{
    if (payload.size() < 3) {
        set_last_error(2, 0, nullptr);
        return;
    }
    if (function != 0)
        return;
    const Byte a = payload[0], b = payload[1];
    const auto status = static_cast<BacklightStatus>(payload[2]);
    Producer<Report>::notify([a, b, status](Report* s) { s->onBacklightInfoEvent(a, b, status); },
                             "Feature1982Backlight::Report::onBacklightInfoEvent");
}

} // namespace devio

DEVIO_REGISTER_FEATURE(Feature1982Backlight, 0x1982)
