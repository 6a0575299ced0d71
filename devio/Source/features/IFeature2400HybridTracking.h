#pragma once
#include "features/IFeature.h"

#include <cstdint>
#include <vector>

namespace devio {

namespace HybridReporting {
// A hybrid-tracking state change: speeds are signed 16-bit values widened, the rest unsigned.
struct SpeedInfo {
    std::uint16_t state = 0;
    std::int32_t speed1 = 0, speed2 = 0, speed3 = 0, speed4 = 0;
    std::uint16_t value5 = 0, value6 = 0;
    std::uint32_t value7 = 0;
};
} // namespace HybridReporting

// Feature 0x2400: hybrid tracking mode of a mouse sensor, its state changes and raw data.
class IFeature2400HybridTracking : public virtual IFeature {
public:
    static constexpr std::uint32_t FeatureId = 0x2400;

    class Report {
    public:
        virtual void onHybridRawData(const std::vector<Byte>& /*data*/) {}
        virtual void onHybridStateChange(const HybridReporting::SpeedInfo& /*info*/) {}
        virtual ~Report() = default;
    };

    ~IFeature2400HybridTracking() override = default;
    virtual bool GetHybridMode(bool* on) = 0;
    virtual bool SetHybridMode(std::uint8_t mode) = 0;
    // state is 0, 1 or 255; any other reply fails without an error of its own.
    virtual bool GetHybridState(std::uint32_t* state) = 0;
    virtual bool SetHybridReporting(std::uint8_t value) = 0;
};

} // namespace devio
