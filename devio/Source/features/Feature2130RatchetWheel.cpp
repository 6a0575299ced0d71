#include "features/Feature2130RatchetWheel.h"

#include "features/FeatureRegistry.h"

namespace devio {

bool Feature2130RatchetWheel::GetRatchetWheelMode(unsigned short* mode)
{
    std::vector<Byte> reply;
    if (!execute_payload(0, {}, 0, 0, reply))
        return false;
    if (mode)
        *mode = padded(reply, 1)[0];
    return true;
}

bool Feature2130RatchetWheel::SetRatchetWheelMode(std::uint8_t mode)
{
    if (!begin_setting_change())
        return false;
    std::vector<Byte> reply;
    return execute_payload(1, {mode}, 0, 0, reply);
}

void Feature2130RatchetWheel::on_notification(int function, const std::vector<Byte>& payload)
{
    if (function != 0)
        return;
    const std::vector<Byte> p = padded(payload, 2);
    const int first = static_cast<std::int8_t>(p[0]);
    const int second = static_cast<std::int8_t>(p[1]);
    Producer<Report>::notify([first, second](Report* s) { s->onWheelMovement(first, second); },
           "Feature2130RatchetWheel::Report::onWheelMovement");
}

void Feature2130RatchetWheel::on_unexpected_response(unsigned function, unsigned softwareId,
                                                     const std::vector<Byte>& payload)
{
    if (function != 1)
        return;
    const unsigned short mode = padded(payload, 1)[0];
    Producer<Report>::notify([softwareId, mode](Report* s) { s->onModeChanged(softwareId, mode); },
           "Feature2130RatchetWheel::Report::onModeChanged");
}

} // namespace devio

DEVIO_REGISTER_FEATURE(Feature2130RatchetWheel, 0x2130)
