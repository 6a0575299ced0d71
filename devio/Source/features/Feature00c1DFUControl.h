#pragma once
#include "features/Feature.h"
#include "features/IFeature00c1DFUControl.h"

namespace devio {

class Feature00c1DFUControl : public FeatureClass<Feature00c1DFUControl, IFeature00c1DFUControl>,
                              public Producer<IFeature00c1DFUControl::ConfigReport> {
public:
    using FeatureClass::FeatureClass;

    bool GetDfuControl(std::uint32_t* state) override;
    bool SetDfuControl(std::uint8_t p0, std::uint8_t p1, std::uint8_t p2, std::uint8_t p3) override;
};

} // namespace devio
