#pragma once
#include "features/IFeature.h"

#include <cstdint>

namespace devio {

// Feature 0x00C1: switches the device into its firmware-update mode.
class IFeature00c1DFUControl : public virtual IFeature {
public:
    static constexpr std::uint32_t FeatureId = 0x00C1;

    class ConfigReport {
    public:
        virtual void onCookieSet(std::uint32_t /*softwareId*/, std::uint16_t /*value*/) {}
        virtual ~ConfigReport() = default;
    };

    ~IFeature00c1DFUControl() override = default;
    virtual bool GetDfuControl(std::uint32_t* state) = 0;
    virtual bool SetDfuControl(std::uint8_t p0, std::uint8_t p1, std::uint8_t p2, std::uint8_t p3) = 0;
};

} // namespace devio
