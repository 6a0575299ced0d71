#include "features/Feature00c1DFUControl.h"

#include "features/FeatureRegistry.h"

namespace devio {

bool Feature00c1DFUControl::GetDfuControl(std::uint32_t* state)
{
    std::vector<Byte> reply;
    if (!execute_payload(0, {}, 0, 2, reply))
        return false;
    if (state)
        *state = reply[1];
    return true;
}

bool Feature00c1DFUControl::SetDfuControl(std::uint8_t p0, std::uint8_t p1, std::uint8_t p2, std::uint8_t p3)
{
    std::vector<Byte> reply;
    return execute(1, {p0, p1, p2, p3, 0x44, 0x46, 0x55}, reply, 0);
}

} // namespace devio

DEVIO_REGISTER_FEATURE(Feature00c1DFUControl, 0x00C1)
