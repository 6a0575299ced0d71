#pragma once
#include "features/Feature.h"
#include "features/IFeature40A0FnInversion.h"

namespace devio {

class Feature40A0FnInversion : public FeatureClass<Feature40A0FnInversion, IFeature40A0FnInversion> {
public:
    using FeatureClass::FeatureClass;

    bool GetFnInversion(bool* inverted) override;
    bool SetFnInversion(bool inverted) override;
};

} // namespace devio
