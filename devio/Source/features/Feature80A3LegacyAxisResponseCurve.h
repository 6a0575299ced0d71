#pragma once
#include "features/Feature.h"
#include "features/IFeature80A3LegacyAxisResponseCurve.h"

namespace devio {

class Feature80A3LegacyAxisResponseCurve
    : public FeatureClass<Feature80A3LegacyAxisResponseCurve, IFeature80A3LegacyAxisResponseCurve> {
public:
    using FeatureClass::FeatureClass;

    bool GetAxisCount(std::uint32_t& count) override;
    bool GetAxisInfo(std::uint8_t axis, std::uint32_t& a, std::uint32_t& b, std::uint32_t& c,
                     std::uint8_t& d) override;
    bool GetAxisCurve(std::uint8_t axis, AxisCurve& curve) override;
    bool SetAxisCurve(std::uint8_t axis, const AxisCurve& curve) override;
    bool GetCurveValue(std::uint8_t axis, std::uint16_t input, std::uint32_t& output) override;
};

} // namespace devio
