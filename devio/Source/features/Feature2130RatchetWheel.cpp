#include "features/Feature2130RatchetWheel.h"

#include "features/FeatureHelpers.h"
#include "features/FeatureRegistry.h"

namespace devio {

bool Feature2130RatchetWheel::GetRatchetWheelMode(unsigned short* mode)
{
    std::vector<Byte> reply;
    if (!read_reply(*this, 0, {}, ReplyRule::any(), reply))
        return false;
    if (mode)
        *mode = byte_at(reply, 0);
    return true;
}

bool Feature2130RatchetWheel::SetRatchetWheelMode(std::uint8_t mode)
{
    if (!begin_setting_change())
        return false;
    return write_request(*this, 1, {mode});
}

void Feature2130RatchetWheel::on_notification(int function, const std::vector<Byte>& payload)
{
    if (function != 0)
        return;
    const int first = sign8(byte_at(payload, 0));
    const int second = sign8(byte_at(payload, 1));
    Producer<Report>::notify([first, second](Report* s) { s->onWheelMovement(first, second); },
           "Feature2130RatchetWheel::Report::onWheelMovement");
}

void Feature2130RatchetWheel::on_unexpected_response(unsigned function, unsigned softwareId,
                                                     const std::vector<Byte>& payload)
{
    if (function != 1)
        return;
    const unsigned short mode = byte_at(payload, 0);
    Producer<Report>::notify([softwareId, mode](Report* s) { s->onModeChanged(softwareId, mode); },
           "Feature2130RatchetWheel::Report::onModeChanged");
}

} // namespace devio

DEVIO_REGISTER_FEATURE(Feature2130RatchetWheel, 0x2130)
