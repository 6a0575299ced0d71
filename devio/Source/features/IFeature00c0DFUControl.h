#pragma once
#include "features/IFeature.h"

#include <cstdint>

namespace devio {

// Feature 0x00C0: switches the device into its firmware-update mode
// (0x00C1 and 0x00C2 do the same with other parameters).
class IFeature00c0DFUControl : public virtual IFeature {
public:
    static constexpr std::uint32_t FeatureId = 0x00C0;

    class ConfigReport {
    public:
        virtual void onCookieSet(std::uint32_t /*softwareId*/, std::uint16_t /*value*/) {}
        virtual ~ConfigReport() = default;
    };

    ~IFeature00c0DFUControl() override = default;
    virtual bool SetDfuControl() = 0;
};

} // namespace devio
