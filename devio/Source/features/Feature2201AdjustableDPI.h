#pragma once
#include "features/Feature.h"
#include "features/IFeature2201AdjustableDPI.h"

namespace devio {

class Feature2201AdjustableDPI : public FeatureClass<Feature2201AdjustableDPI, IFeature2201AdjustableDPI> {
public:
    using FeatureClass::FeatureClass;

    // Parses a resolution-list reply for `sensor` into `list` and `step` (both reset first).
    // Returns 0, or the error code: 2 too short, 56 another sensor or a list not closed.
    // On 56 the entries parsed before the fault stay in `list`.
    static std::uint32_t parse_dpi_list(const std::vector<Byte>& payload, std::uint8_t sensor,
                                        std::vector<unsigned short>& list, std::uint32_t& step);

    bool GetSensorCount(std::uint32_t& count) override;
    bool GetSensorDpiList(std::vector<unsigned short>& list, std::uint32_t& step, std::uint8_t sensor) override;
    bool GetSensorDpi(unsigned short& dpi, std::uint8_t sensor) override;
    bool GetSensorSecondDpi(unsigned short& dpi, std::uint8_t sensor) override;
    bool SetSensorDpi(short dpi, std::uint8_t sensor) override;
    bool SetSensorDpiClamped(unsigned short dpi, std::uint32_t sensor) override;
};

} // namespace devio
