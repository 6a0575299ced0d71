#pragma once
#include "features/Feature.h"
#include "features/IFeature1805OOBState.h"

namespace devio {

class Feature1805OOBState : public FeatureClass<Feature1805OOBState, IFeature1805OOBState> {
public:
    using FeatureClass::FeatureClass;

    void SetOOBState() override;
};

} // namespace devio
