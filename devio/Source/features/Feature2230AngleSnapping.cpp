#include "features/Feature2230AngleSnapping.h"

#include "features/FeatureHelpers.h"
#include "features/FeatureRegistry.h"

namespace devio {

bool Feature2230AngleSnapping::GetAngleSnapping(bool& enabled)
{
    return shared_ops::get_enabled(*this, enabled);
}

bool Feature2230AngleSnapping::SetAngleSnapping(std::uint8_t value)
{
    return shared_ops::set_angle_snapping(*this, value);
}

} // namespace devio

DEVIO_REGISTER_FEATURE(Feature2230AngleSnapping, 0x2230)
