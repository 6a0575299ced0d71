#pragma once
#include "features/IFeature.h"

#include <cstdint>

namespace devio {

// Feature 0x1E00: whether the device's hidden features are enabled.
class IFeature1E00EnableHiddenFeatures : public virtual IFeature {
public:
    static constexpr std::uint32_t FeatureId = 0x1E00;

    ~IFeature1E00EnableHiddenFeatures() override = default;
    // Only byte 0 == 1 reads as enabled.
    virtual bool GetEnabled(bool& enabled) = 0;
    virtual bool SetEnabled(std::uint8_t value) = 0;
};

} // namespace devio
