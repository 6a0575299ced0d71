#include "features/Feature00c2DFUControl.h"

#include "features/FeatureRegistry.h"

namespace devio {

bool Feature00c2DFUControl::GetDfuControl(std::uint8_t* state)
{
    std::vector<Byte> reply;
    if (!execute(0, {}, reply, 0)) {
        set_last_error(1, 0, nullptr);
        return false;
    }
    if (reply.size() < 3) {
        set_last_error(2, 0, nullptr);
        return false;
    }
    if (state)
        *state = reply[2] & 0x01;
    return true;
}

bool Feature00c2DFUControl::SetDfuControl(std::uint8_t p0, std::uint8_t p1)
{
    // The device restarts into its bootloader; no reply is awaited.
    if (!send(1, {p0, p1, 0x00, 0x00, 0x44, 0x46, 0x55})) {
        set_last_error(1, 0, nullptr);
        return false;
    }
    return true;
}

} // namespace devio

DEVIO_REGISTER_FEATURE(Feature00c2DFUControl, 0x00C2)
