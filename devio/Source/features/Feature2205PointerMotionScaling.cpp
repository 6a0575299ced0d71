#include "features/Feature2205PointerMotionScaling.h"

#include "features/FeatureRegistry.h"

namespace devio {

bool Feature2205PointerMotionScaling::GetMotionScaling(std::uint32_t* scaling)
{
    std::vector<Byte> reply;
    if (!execute_payload(0, {}, 0, 2, reply))
        return false;
    if (scaling)
        *scaling = be16(reply, 0);
    return true;
}

bool Feature2205PointerMotionScaling::SetMotionScaling(std::uint32_t scaling)
{
    if (!begin_setting_change())
        return false;
    std::vector<Byte> reply;
    return execute(1, {Byte(scaling >> 8), Byte(scaling)}, reply, 0);
}

} // namespace devio

DEVIO_REGISTER_FEATURE(Feature2205PointerMotionScaling, 0x2205)
