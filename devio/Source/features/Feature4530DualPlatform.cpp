#include "features/Feature4530DualPlatform.h"

#include "core/ErrorRecord.h"
#include "features/FeatureRegistry.h"

namespace devio {

bool Feature4530DualPlatform::GetPlatform(std::uint16_t* platform)
{
    std::vector<Byte> reply;
    if (!execute_payload(0, {}, 0, 1, reply))
        return false;
    if (platform)
        *platform = reply[0];
    return true;
}

bool Feature4530DualPlatform::SetPlatform(std::uint8_t platform)
{
    std::vector<Byte> reply;
    return execute(1, {platform}, reply, 0);
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
