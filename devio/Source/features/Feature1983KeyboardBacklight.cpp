#include "features/Feature1983KeyboardBacklight.h"

#include "features/FeatureHelpers.h"
#include "features/FeatureRegistry.h"

namespace devio {

namespace {
void put_bits(Byte b, bool* f0, bool* f1, bool* f2, bool* f3)
{
    bool* out[] = {f0, f1, f2, f3};
    for (unsigned k = 0; k < 4; ++k)
        if (out[k])
            *out[k] = (b >> k) & 1;
}
} // namespace

bool Feature1983KeyboardBacklight::GetBacklightSupport(bool* s0, bool* s1, bool* s2, bool* s3)
{
    std::vector<Byte> r;
    if (!read_reply(*this, 0, {}, ReplyRule::strict(1), r))
        return false;
    put_bits(r[0], s0, s1, s2, s3);
    return true;
}

bool Feature1983KeyboardBacklight::GetBacklightSettings(std::uint16_t* value, bool* f0, bool* f1, bool* f2, bool* f3)
{
    std::vector<Byte> r;
    if (!read_reply(*this, 1, {}, ReplyRule::strict(3), r))
        return false;
    if (value)
        *value = read_be16(r, 0);
    put_bits(r[2], f0, f1, f2, f3);
    return true;
}

bool Feature1983KeyboardBacklight::SetBacklightSettings(std::int16_t value, bool f0, bool f1, bool f2, bool f3)
{
    std::vector<Byte> params;
    put_be16(params, static_cast<std::uint16_t>(value));
    params.push_back(static_cast<Byte>((f0 ? 1 : 0) | (f1 ? 2 : 0) | (f2 ? 4 : 0) | (f3 ? 8 : 0)));
    return write_request(*this, 2, params);
}

bool Feature1983KeyboardBacklight::GetBacklightState(std::uint8_t* a, std::uint8_t* b, std::uint8_t* c)
{
    return shared_ops::get_three_bytes(*this, 3, a, b, c);
}

void Feature1983KeyboardBacklight::on_notification(int function, const std::vector<Byte>& payload)
{
    Byte a = 0, b = 0;
    std::uint8_t value = 0;
    if (!shared_ops::decode_backlight_event(function, payload, a, b, value))
        return;
    const auto status = static_cast<BacklightStatus>(value);
    Producer<Report>::notify([a, b, status](Report* s) { s->onBacklightEventChange(a, b, status); },
                             "Feature1983KeyboardBacklight::Report::onBacklightEventChange");
}

} // namespace devio

DEVIO_REGISTER_FEATURE(Feature1983KeyboardBacklight, 0x1983)
