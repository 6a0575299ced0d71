#pragma once
#include "features/IFeature.h"

#include <cstdint>

namespace devio {

// Feature 0x1010: a one-byte charging-control value.
class IFeature1010ChargingControl : public virtual IFeature {
public:
    static constexpr std::uint32_t FeatureId = 0x1010;

    ~IFeature1010ChargingControl() override = default;
    virtual bool GetChargingControl(std::uint8_t& value) = 0;
    virtual bool SetChargingControl(std::uint8_t value) = 0;
};

} // namespace devio
