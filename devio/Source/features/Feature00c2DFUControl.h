#pragma once
#include "features/Feature.h"
#include "features/IFeature00c2DFUControl.h"

namespace devio {

class Feature00c2DFUControl : public FeatureClass<Feature00c2DFUControl, IFeature00c2DFUControl>,
                              public Producer<IFeature00c2DFUControl::ConfigReport> {
public:
    using FeatureClass::FeatureClass;

    bool GetDfuControl(std::uint8_t* state) override;
    bool SetDfuControl(std::uint8_t p0, std::uint8_t p1) override;
};

} // namespace devio
