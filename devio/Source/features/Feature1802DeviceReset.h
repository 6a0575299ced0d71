#pragma once
#include "features/Feature.h"
#include "features/IFeature1802DeviceReset.h"

namespace devio {

class Feature1802DeviceReset : public FeatureClass<Feature1802DeviceReset, IFeature1802DeviceReset> {
public:
    using FeatureClass::FeatureClass;

    void ResetDevice() override;
};

} // namespace devio
