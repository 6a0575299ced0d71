#include "features/Feature1010ChargingControl.h"

#include "features/FeatureHelpers.h"
#include "features/FeatureRegistry.h"

namespace devio {

bool Feature1010ChargingControl::GetChargingControl(std::uint8_t& value)
{
    // Byte 1 is required though not decoded.
    std::vector<Byte> reply;
    if (!read_reply(*this, 0, {}, ReplyRule::strict(2), reply))
        return false;
    value = reply[0];
    return true;
}

bool Feature1010ChargingControl::SetChargingControl(std::uint8_t value) { return write_request(*this, 1, {value}); }

} // namespace devio

DEVIO_REGISTER_FEATURE(Feature1010ChargingControl, 0x1010)
