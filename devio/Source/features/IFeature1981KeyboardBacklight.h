#pragma once
#include "features/IFeature.h"

#include <cstdint>

namespace devio {

// Feature 0x1981: one backlight value; changes of three values are notified.
class IFeature1981KeyboardBacklight : public virtual IFeature {
public:
    static constexpr std::uint32_t FeatureId = 0x1981;

    class Report {
    public:
        virtual void onBacklightChangeEvent(short, short, short) {}
        virtual ~Report() = default;
    };

    ~IFeature1981KeyboardBacklight() override = default;
    virtual bool GetBacklightValue(std::uint16_t* value) = 0;
    virtual bool SetBacklightValue(std::uint8_t value) = 0;
};

} // namespace devio
