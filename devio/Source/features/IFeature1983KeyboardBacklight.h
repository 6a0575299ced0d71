#pragma once
#include "features/IFeature.h"

#include <cstdint>

namespace devio {

// Feature 0x1983: supported flags, a 16-bit value with four flags, three status bytes, changes.
class IFeature1983KeyboardBacklight : public virtual IFeature {
public:
    static constexpr std::uint32_t FeatureId = 0x1983;

    // Carried as the device sends it; every byte value can occur.
    enum BacklightStatus : std::uint8_t {};

    class Report {
    public:
        virtual void onBacklightEventChange(Byte, Byte, BacklightStatus) {}
        virtual ~Report() = default;
    };

    ~IFeature1983KeyboardBacklight() override = default;
    virtual bool GetBacklightSupport(bool* s0, bool* s1, bool* s2, bool* s3) = 0;
    virtual bool GetBacklightSettings(std::uint16_t* value, bool* f0, bool* f1, bool* f2, bool* f3) = 0;
    virtual bool SetBacklightSettings(std::int16_t value, bool f0, bool f1, bool f2, bool f3) = 0;
    virtual bool GetBacklightState(std::uint8_t* a, std::uint8_t* b, std::uint8_t* c) = 0;
};

} // namespace devio
