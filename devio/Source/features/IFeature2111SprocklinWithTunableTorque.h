#pragma once
#include "features/IFeature.h"

#include <cstdint>

namespace devio {

// Feature 0x2111: Sprocklin wheel with tunable torque: a capability block and a three-byte state.
class IFeature2111SprocklinWithTunableTorque : public virtual IFeature {
public:
    static constexpr std::uint32_t FeatureId = 0x2111;

    ~IFeature2111SprocklinWithTunableTorque() override = default;
    virtual bool GetSprocklinCapabilities(bool* capFlag, std::uint8_t* cap1, std::uint8_t* cap2,
                                          std::uint8_t* cap3) = 0;
    virtual bool GetSprocklinState(std::uint32_t* value0, std::uint8_t* value1, std::uint8_t* value2) = 0;
    virtual bool SetSprocklinState(std::uint8_t value0, std::uint8_t value1, std::uint8_t value2,
                                   std::uint32_t* outValue0, std::uint8_t* outValue1, std::uint8_t* outValue2) = 0;
};

} // namespace devio
