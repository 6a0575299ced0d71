#include "features/Feature1E00EnableHiddenFeatures.h"

#include "features/FeatureHelpers.h"
#include "features/FeatureRegistry.h"

namespace devio {

bool Feature1E00EnableHiddenFeatures::GetEnabled(bool& enabled) { return shared_ops::get_enabled(*this, enabled); }

bool Feature1E00EnableHiddenFeatures::SetEnabled(std::uint8_t value)
{
    std::vector<Byte> r;
    return read_reply(*this, 1, {value}, ReplyRule::strict(1), r);
}

} // namespace devio

DEVIO_REGISTER_FEATURE(Feature1E00EnableHiddenFeatures, 0x1E00)
