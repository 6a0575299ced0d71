#pragma once
#include "features/Feature.h"
#include "features/IFeature2110Sprocklin.h"

namespace devio {

class Feature2110Sprocklin : public FeatureClass<Feature2110Sprocklin, IFeature2110Sprocklin> {
public:
    using FeatureClass::FeatureClass;

    bool GetSprocklinState(std::uint32_t* value0, std::uint8_t* value1) override;
    bool SetSprocklinState(std::uint8_t value0, std::uint8_t value1, std::uint32_t* outValue0,
                           std::uint8_t* outValue1) override;
};

} // namespace devio
