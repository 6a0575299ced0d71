#pragma once
#include "features/IFeature.h"

#include <cstdint>

namespace devio {

// Feature 0x2130: a ratchet wheel with a one-byte mode and a two-value movement report.
class IFeature2130RatchetWheel : public virtual IFeature {
public:
    static constexpr std::uint32_t FeatureId = 0x2130;

    class Report {
    public:
        virtual void onWheelMovement(int /*first*/, int /*second*/) {}
        virtual void onModeChanged(unsigned int /*softwareId*/, unsigned short /*mode*/) {}
        virtual ~Report() = default;
    };

    ~IFeature2130RatchetWheel() override = default;
    virtual bool GetRatchetWheelMode(unsigned short* mode) = 0;
    virtual bool SetRatchetWheelMode(std::uint8_t mode) = 0;
};

} // namespace devio
