#pragma once
#include "features/IFeature.h"

#include <cstdint>

namespace devio {

// Feature 0x1805: sets the device's out-of-box state.
class IFeature1805OOBState : public virtual IFeature {
public:
    static constexpr std::uint32_t FeatureId = 0x1805;

    ~IFeature1805OOBState() override = default;
    // Waits for the outcome and ignores it (left in the last error).
    virtual void SetOOBState() = 0;
};

} // namespace devio
