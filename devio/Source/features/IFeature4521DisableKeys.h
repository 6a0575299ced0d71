#pragma once
#include "features/IFeature.h"

#include <cstdint>

namespace devio {

// Feature 0x4521: five key flags that disable keys; a write the device cannot take now is kept
// and sent after its next configuration change.
class IFeature4521DisableKeys : public virtual IFeature {
public:
    static constexpr std::uint32_t FeatureId = 0x4521;

    class SettingChange {
    public:
        virtual void onSettingChange(unsigned int /*softwareId*/, bool /*first*/, bool /*second*/, bool /*third*/,
                                     bool /*fourth*/, bool /*fifth*/)
        {
        }
        virtual ~SettingChange() = default;
    };

    ~IFeature4521DisableKeys() override = default;
    virtual bool GetCapabilities(bool* first, bool* second, bool* third, bool* fourth, bool* fifth) = 0;
    virtual bool GetDisabledKeys(bool* first, bool* second, bool* third, bool* fourth, bool* fifth) = 0;
    virtual bool SetDisabledKeys(bool first, bool second, bool third, bool fourth, bool fifth) = 0;
};

} // namespace devio
