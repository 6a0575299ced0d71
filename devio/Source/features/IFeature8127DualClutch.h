#pragma once
#include "features/IFeature.h"

#include <cstdint>

namespace devio {

// Feature 0x8127: dual-clutch information, a 32-bit value and four settings.
class IFeature8127DualClutch : public virtual IFeature {
public:
    static constexpr std::uint32_t FeatureId = 0x8127;

    enum DualClutchState : std::uint32_t {};

    class Report {
    public:
        virtual void OnSettingsChanged(bool /*a*/, int /*b*/, int /*c*/, bool /*d*/, DualClutchState /*state*/,
                                       bool /*e*/)
        {
        }
        virtual ~Report() = default;
    };

    ~IFeature8127DualClutch() override = default;
    // Every out pointer may be null. Short replies read missing bytes as 0.
    virtual bool GetDualClutchInfo(std::uint32_t* value) = 0;
    virtual bool GetDualClutchValue(std::uint8_t selector, std::uint32_t* value) = 0;
    virtual bool GetDualClutchSettings(bool* a, std::uint32_t* b, std::uint32_t* c, bool* d) = 0;
    virtual bool SetDualClutchSettings(std::uint8_t first, std::uint8_t second, std::uint8_t third,
                                       std::uint8_t fourth) = 0;
};

} // namespace devio
