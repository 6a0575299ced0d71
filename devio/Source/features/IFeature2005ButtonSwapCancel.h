#pragma once
#include "features/IFeature.h"

#include <cstdint>

namespace devio {

// Feature 0x2005: the button-swap-cancel setting. A write the device cannot take now is kept and
// sent after its next configuration change.
class IFeature2005ButtonSwapCancel : public virtual IFeature {
public:
    static constexpr std::uint32_t FeatureId = 0x2005;

    class SettingChange {
    public:
        virtual void onSettingChange(unsigned int /*softwareId*/, bool /*enabled*/) {}
        virtual ~SettingChange() = default;
    };

    ~IFeature2005ButtonSwapCancel() override = default;
    virtual bool GetButtonSwapCancel(bool* enabled) = 0;
    virtual bool SetButtonSwapCancel(std::uint8_t value) = 0;
};

} // namespace devio
