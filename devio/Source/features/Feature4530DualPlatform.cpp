#include "features/Feature4530DualPlatform.h"

#include "core/ErrorRecord.h"
#include "features/FeatureHelpers.h"
#include "features/FeatureRegistry.h"

namespace devio {

bool Feature4530DualPlatform::GetPlatform(std::uint16_t* platform)
{
    return shared_ops::get_backlight_value(*this, platform);
}

bool Feature4530DualPlatform::SetPlatform(std::uint8_t platform)
{
    return shared_ops::set_backlight_value(*this, platform);
}

void Feature4530DualPlatform::on_notification(int /*function*/, const std::vector<Byte>& payload)
{
    if (payload.empty()) {
        set_last_error(2, 0, nullptr);
        return;
    }
    const short platform = payload[0];
    Producer<Report>::notify([platform](Report* s) { s->onPlatformChangeEvent(platform); },
                             "Feature4530DualPlatform::Report::onPlatformChangeEvent");
}

} // namespace devio

DEVIO_REGISTER_FEATURE(Feature4530DualPlatform, 0x4530)
