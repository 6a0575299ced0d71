#pragma once
#include "features/IFeature.h"

#include <cstdint>

namespace devio {

// Feature 0x1802: asks the device to reset.
class IFeature1802DeviceReset : public virtual IFeature {
public:
    static constexpr std::uint32_t FeatureId = 0x1802;

    ~IFeature1802DeviceReset() override = default;
    // Waits for the reply or the failure and ignores the outcome (left in the last error).
    virtual void ResetDevice() = 0;
};

} // namespace devio
