#include "features/Feature40A0FnInversion.h"

#include "features/FeatureHelpers.h"
#include "features/FeatureRegistry.h"

namespace devio {

bool Feature40A0FnInversion::GetFnInversion(bool* inverted)
{
    std::vector<Byte> reply;
    if (!read_reply(*this, 0, {}, ReplyRule::strict(1), reply))
        return false;
    if (inverted)
        *inverted = (reply[0] & 0x0F) == 1;
    return true;
}

bool Feature40A0FnInversion::SetFnInversion(bool inverted)
{
    std::vector<Byte> reply;
    return read_reply(*this, 1, {Byte(inverted ? 1 : 0)}, ReplyRule::strict(1), reply);
}

} // namespace devio

DEVIO_REGISTER_FEATURE(Feature40A0FnInversion, 0x40A0)
