#pragma once
#include "features/Feature.h"
#include "features/IFeature2205PointerMotionScaling.h"

namespace devio {

class Feature2205PointerMotionScaling
    : public FeatureClass<Feature2205PointerMotionScaling, IFeature2205PointerMotionScaling> {
public:
    using FeatureClass::FeatureClass;

    bool GetMotionScaling(std::uint32_t* scaling) override;
    bool SetMotionScaling(std::uint32_t scaling) override;
};

} // namespace devio
