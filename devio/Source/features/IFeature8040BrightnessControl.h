#pragma once
#include "features/IFeature.h"

#include <cstdint>

namespace devio {

// Feature 0x8040: lighting brightness as a 16-bit value, an information block, change reports.
class IFeature8040BrightnessControl : public virtual IFeature {
public:
    static constexpr std::uint32_t FeatureId = 0x8040;

    struct BrightnessInfo {
        std::uint16_t infoWord = 0;
        std::uint16_t infoByte2 = 0;
        std::uint16_t infoByte3 = 0;
    };

    class Report {
    public:
        virtual void onBrightnessChanged(std::uint16_t /*brightness*/) {}
        virtual ~Report() = default;
    };

    ~IFeature8040BrightnessControl() override = default;
    virtual bool GetBrightnessInfo(BrightnessInfo& info) = 0;
    virtual bool GetBrightness(std::uint16_t& brightness) = 0;
    virtual bool SetBrightness(std::int16_t brightness) = 0;
};

} // namespace devio
