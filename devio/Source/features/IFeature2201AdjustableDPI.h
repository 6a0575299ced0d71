#pragma once
#include "features/IFeature.h"

#include <cstdint>
#include <vector>

namespace devio {

// Feature 0x2201: sensor count, each sensor's resolution list and its resolution.
class IFeature2201AdjustableDPI : public virtual IFeature {
public:
    static constexpr std::uint32_t FeatureId = 0x2201;

    ~IFeature2201AdjustableDPI() override = default;
    virtual bool GetSensorCount(std::uint32_t& count) = 0;
    // The resolutions in the device's order; step 0 when the device sent none.
    virtual bool GetSensorDpiList(std::vector<unsigned short>& list, std::uint32_t& step, std::uint8_t sensor) = 0;
    virtual bool GetSensorDpi(unsigned short& dpi, std::uint8_t sensor) = 0;
    virtual bool GetSensorSecondDpi(unsigned short& dpi, std::uint8_t sensor) = 0;
    virtual bool SetSensorDpi(short dpi, std::uint8_t sensor) = 0;
    // Sends dpi bounded by the first and last entry of the sensor's list.
    virtual bool SetSensorDpiClamped(unsigned short dpi, std::uint32_t sensor) = 0;
};

} // namespace devio
