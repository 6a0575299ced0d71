#include "features/Feature1802DeviceReset.h"

#include "features/FeatureHelpers.h"
#include "features/FeatureRegistry.h"

namespace devio {

void Feature1802DeviceReset::ResetDevice() { shared_ops::reset_device(*this); }

} // namespace devio

DEVIO_REGISTER_FEATURE(Feature1802DeviceReset, 0x1802)
