#pragma once
#include "features/IFeature.h"

#include <cstdint>

namespace devio {

// Feature 0x80A3: per-axis description and response curve, and one value through the curve.
class IFeature80A3LegacyAxisResponseCurve : public virtual IFeature {
public:
    static constexpr std::uint32_t FeatureId = 0x80A3;

    struct AxisCurve {
        std::uint32_t point0 = 0;
        std::uint32_t point1 = 0;
        std::uint32_t point2 = 0;
        bool enabled = false;
    };

    ~IFeature80A3LegacyAxisResponseCurve() override = default;
    virtual bool GetAxisCount(std::uint32_t& count) = 0;
    virtual bool GetAxisInfo(std::uint8_t axis, std::uint32_t& a, std::uint32_t& b, std::uint32_t& c,
                             std::uint8_t& d) = 0;
    virtual bool GetAxisCurve(std::uint8_t axis, AxisCurve& curve) = 0;
    virtual bool SetAxisCurve(std::uint8_t axis, const AxisCurve& curve) = 0;
    virtual bool GetCurveValue(std::uint8_t axis, std::uint16_t input, std::uint32_t& output) = 0;
};

} // namespace devio
