#pragma once
#include "features/Feature.h"
#include "features/IFeature0008SwitchAndKeepAlive.h"

namespace devio {

class Feature0008SwitchAndKeepAlive : public FeatureClass<Feature0008SwitchAndKeepAlive, IFeature0008SwitchAndKeepAlive> {
public:
    using FeatureClass::FeatureClass;

    bool GetInfo(std::uint16_t* first, std::uint16_t* second) override;
    bool KeepAlive(std::uint16_t value, std::uint16_t* result) override;
    bool Switch() override;
};

} // namespace devio
