#pragma once
#include "features/Feature.h"
#include "features/IFeature1010ChargingControl.h"

namespace devio {

class Feature1010ChargingControl : public FeatureClass<Feature1010ChargingControl, IFeature1010ChargingControl> {
public:
    using FeatureClass::FeatureClass;

    bool GetChargingControl(std::uint8_t& value) override;
    bool SetChargingControl(std::uint8_t value) override;
};

} // namespace devio
