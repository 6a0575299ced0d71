#pragma once
#include "features/Feature.h"
#include "features/IFeature2230AngleSnapping.h"

namespace devio {

class Feature2230AngleSnapping : public FeatureClass<Feature2230AngleSnapping, IFeature2230AngleSnapping> {
public:
    using FeatureClass::FeatureClass;

    bool GetAngleSnapping(bool& enabled) override;
    bool SetAngleSnapping(std::uint8_t value) override;
};

} // namespace devio
