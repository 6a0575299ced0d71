#pragma once
#include "features/IFeature.h"

#include <cstdint>

namespace devio {

// Feature 0x2205: one 16-bit pointer motion-scaling value.
class IFeature2205PointerMotionScaling : public virtual IFeature {
public:
    static constexpr std::uint32_t FeatureId = 0x2205;

    ~IFeature2205PointerMotionScaling() override = default;
    virtual bool GetMotionScaling(std::uint32_t* scaling) = 0;
    // Sends the low 16 bits.
    virtual bool SetMotionScaling(std::uint32_t scaling) = 0;
};

} // namespace devio
