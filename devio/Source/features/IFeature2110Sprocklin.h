#pragma once
#include "features/IFeature.h"

#include <cstdint>

namespace devio {

// Feature 0x2110: the two-byte Sprocklin state of a mouse wheel, passed on as the device sends it.
class IFeature2110Sprocklin : public virtual IFeature {
public:
    static constexpr std::uint32_t FeatureId = 0x2110;

    ~IFeature2110Sprocklin() override = default;
    virtual bool GetSprocklinState(std::uint32_t* value0, std::uint8_t* value1) = 0;
    // The out values are the state as the device returns it.
    virtual bool SetSprocklinState(std::uint8_t value0, std::uint8_t value1, std::uint32_t* outValue0,
                                   std::uint8_t* outValue1) = 0;
};

} // namespace devio
