#pragma once
#include "features/Feature.h"
#include "features/IFeature2111SprocklinWithTunableTorque.h"

namespace devio {

class Feature2111SprocklinWithTunableTorque
    : public FeatureClass<Feature2111SprocklinWithTunableTorque, IFeature2111SprocklinWithTunableTorque> {
public:
    using FeatureClass::FeatureClass;

    bool GetSprocklinCapabilities(bool* capFlag, std::uint8_t* cap1, std::uint8_t* cap2, std::uint8_t* cap3) override;
    bool GetSprocklinState(std::uint32_t* value0, std::uint8_t* value1, std::uint8_t* value2) override;
    bool SetSprocklinState(std::uint8_t value0, std::uint8_t value1, std::uint8_t value2, std::uint32_t* outValue0,
                           std::uint8_t* outValue1, std::uint8_t* outValue2) override;
};

} // namespace devio
