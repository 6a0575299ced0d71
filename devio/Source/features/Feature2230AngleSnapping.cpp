#include "features/Feature2230AngleSnapping.h"

#include "features/FeatureRegistry.h"

namespace devio {

bool Feature2230AngleSnapping::GetAngleSnapping(bool& enabled)
{
    std::vector<Byte> reply;
    if (!execute_payload(0, {}, 0, 1, reply))
        return false;
    enabled = reply[0] == 1;
    return true;
}

bool Feature2230AngleSnapping::SetAngleSnapping(std::uint8_t value)
{
    std::vector<Byte> reply;
    return execute(1, {value}, reply, 0);
}

} // namespace devio

DEVIO_REGISTER_FEATURE(Feature2230AngleSnapping, 0x2230)
