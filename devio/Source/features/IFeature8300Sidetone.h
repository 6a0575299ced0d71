#pragma once
#include "features/IFeature.h"

#include <cstdint>

namespace devio {

// Feature 0x8300: headset sidetone.
class IFeature8300Sidetone : public virtual IFeature {
public:
    static constexpr std::uint32_t FeatureId = 0x8300;

    class Report {
    public:
        virtual void onSidetoneChangeEvent(unsigned int /*first*/, unsigned int /*second*/, unsigned int /*third*/) {}
        virtual ~Report() = default;
    };

    ~IFeature8300Sidetone() override = default;
    virtual bool GetAudioInfo(std::uint32_t& value) = 0;
    virtual bool SetSidetoneSetting(const std::uint8_t& value) = 0;
    virtual bool GetSidetoneSetting(std::uint32_t& value) = 0;
    virtual bool SetSidetoneSettingPair(const std::uint8_t& first, const std::uint8_t& second) = 0;
};

} // namespace devio
