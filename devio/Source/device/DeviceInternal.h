// Helpers the files of devio::Device share; not part of its interface.
#pragma once

#include "device/Device.h"

#include <memory>

namespace devio {
namespace device_internal {

// Whether the calling thread is delivering reports of `device` (deliveries can nest).
bool delivering_reports_of(const Device* device);

// Ends a request that no worker will serve.
void end_unserved(const std::shared_ptr<DeviceRequest>& request);

} // namespace device_internal
} // namespace devio
