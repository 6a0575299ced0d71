#pragma once
#include "features/IFeature.h"

#include <cstdint>

namespace devio {

// Feature 0x40A2: Fn inversion with a second flag; a write the device cannot take now is kept
// and sent after its next configuration change.
class IFeature40A2FnInversion : public virtual IFeature {
public:
    static constexpr std::uint32_t FeatureId = 0x40A2;

    class SettingChange {
    public:
        virtual void onSettingChange(unsigned int /*softwareId*/, bool /*inverted*/) {}
        virtual ~SettingChange() = default;
    };

    ~IFeature40A2FnInversion() override = default;
    virtual bool GetFnInversion(bool* inverted, bool* second) = 0;
    virtual bool SetFnInversion(bool inverted) = 0;
};

} // namespace devio
