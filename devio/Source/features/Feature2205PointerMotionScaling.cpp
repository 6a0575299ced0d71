#include "features/Feature2205PointerMotionScaling.h"

#include "features/FeatureHelpers.h"
#include "features/FeatureRegistry.h"

namespace devio {

bool Feature2205PointerMotionScaling::GetMotionScaling(std::uint32_t* scaling)
{
    std::vector<Byte> reply;
    if (!read_reply(*this, 0, {}, ReplyRule::strict(2), reply))
        return false;
    if (scaling)
        *scaling = read_be16(reply, 0);
    return true;
}

bool Feature2205PointerMotionScaling::SetMotionScaling(std::uint32_t scaling)
{
    if (!begin_setting_change())
        return false;
    return write_request(*this, 1, {Byte(scaling >> 8), Byte(scaling)});
}

} // namespace devio

DEVIO_REGISTER_FEATURE(Feature2205PointerMotionScaling, 0x2205)
