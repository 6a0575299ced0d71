#include "features/Feature40A0FnInversion.h"

#include "features/FeatureRegistry.h"

namespace devio {

bool Feature40A0FnInversion::GetFnInversion(bool* inverted)
{
    std::vector<Byte> reply;
    if (!execute_payload(0, {}, 0, 1, reply))
        return false;
    if (inverted)
        *inverted = (reply[0] & 0x0F) == 1;
    return true;
}

bool Feature40A0FnInversion::SetFnInversion(bool inverted)
{
    std::vector<Byte> reply;
    return execute_payload(1, {Byte(inverted ? 1 : 0)}, 0, 1, reply);
}

} // namespace devio

DEVIO_REGISTER_FEATURE(Feature40A0FnInversion, 0x40A0)
