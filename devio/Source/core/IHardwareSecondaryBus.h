#pragma once
#include "core/IHardwareBus.h"

// Declared by the platform's dbt.h as `typedef struct _DEV_BROADCAST_HDR {...} DEV_BROADCAST_HDR;`.
struct _DEV_BROADCAST_HDR;
typedef struct _DEV_BROADCAST_HDR DEV_BROADCAST_HDR;

namespace devio {

// A bus beside the platform bus that also sees the platform bus's WM_DEVICECHANGE messages.
class IHardwareSecondaryBus : public IHardwareBus {
public:
    // Called on the platform bus's window thread.
    virtual void onDeviceChange(std::uint32_t /*event*/, const DEV_BROADCAST_HDR* /*header*/) {}
};

} // namespace devio
