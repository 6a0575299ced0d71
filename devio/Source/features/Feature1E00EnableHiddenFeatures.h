#pragma once
#include "features/Feature.h"
#include "features/IFeature1E00EnableHiddenFeatures.h"

namespace devio {

class Feature1E00EnableHiddenFeatures
    : public FeatureClass<Feature1E00EnableHiddenFeatures, IFeature1E00EnableHiddenFeatures> {
public:
    using FeatureClass::FeatureClass;

    bool GetEnabled(bool& enabled) override;
    bool SetEnabled(std::uint8_t value) override;
};

} // namespace devio
