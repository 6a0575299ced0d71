#include "features/Feature1981KeyboardBacklight.h"

#include "features/FeatureHelpers.h"
#include "features/FeatureRegistry.h"

namespace devio {

bool Feature1981KeyboardBacklight::GetBacklightValue(std::uint16_t* value)
{
    return shared_ops::get_backlight_value(*this, value);
}

bool Feature1981KeyboardBacklight::SetBacklightValue(std::uint8_t value)
{
    return shared_ops::set_backlight_value(*this, value);
}

void Feature1981KeyboardBacklight::on_notification(int /*function*/, const std::vector<Byte>& payload)
{
    // Every event number carries the three values.
    if (payload.size() < 3) {
        set_last_error(2, 0, nullptr);
        return;
    }
    const short a = payload[0], b = payload[1], c = payload[2];
    Producer<Report>::notify([a, b, c](Report* s) { s->onBacklightChangeEvent(a, b, c); },
                             "Feature1981KeyboardBacklight::Report::onBacklightChangeEvent");
}

} // namespace devio

DEVIO_REGISTER_FEATURE(Feature1981KeyboardBacklight, 0x1981)
