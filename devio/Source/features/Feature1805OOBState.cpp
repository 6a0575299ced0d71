#include "features/Feature1805OOBState.h"

#include "features/FeatureHelpers.h"
#include "features/FeatureRegistry.h"

namespace devio {

void Feature1805OOBState::SetOOBState() { shared_ops::reset_device(*this); }

} // namespace devio

DEVIO_REGISTER_FEATURE(Feature1805OOBState, 0x1805)
