#pragma once
#include "features/IFeature.h"

#include <cstdint>

namespace devio {

// Feature 0x2230: the angle-snapping flag of a mouse sensor.
class IFeature2230AngleSnapping : public virtual IFeature {
public:
    static constexpr std::uint32_t FeatureId = 0x2230;

    ~IFeature2230AngleSnapping() override = default;
    virtual bool GetAngleSnapping(bool& enabled) = 0;
    virtual bool SetAngleSnapping(std::uint8_t value) = 0;
};

} // namespace devio
