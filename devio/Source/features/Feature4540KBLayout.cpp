#include "features/Feature4540KBLayout.h"

#include "features/FeatureRegistry.h"

namespace devio {

bool Feature4540KBLayout::GetKeyboardLayout(std::uint32_t& layout)
{
    std::vector<Byte> reply;
    if (!execute_payload(0, {}, 1, 1, reply))
        return false;
    layout = reply[0];
    return true;
}

} // namespace devio

DEVIO_REGISTER_FEATURE(Feature4540KBLayout, 0x4540)
