#include "features/Feature4540KBLayout.h"

#include "features/FeatureHelpers.h"
#include "features/FeatureRegistry.h"

namespace devio {

bool Feature4540KBLayout::GetKeyboardLayout(std::uint32_t& layout)
{
    return shared_ops::get_sensor_count(*this, layout);
}

} // namespace devio

DEVIO_REGISTER_FEATURE(Feature4540KBLayout, 0x4540)
