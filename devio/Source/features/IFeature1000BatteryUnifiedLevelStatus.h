#pragma once
#include "features/IFeature.h"

#include <cstdint>

namespace devio {

// Feature 0x1000: battery level and the level below which no update is started.
class IFeature1000BatteryUnifiedLevelStatus : public virtual IFeature {
public:
    static constexpr std::uint32_t FeatureId = 0x1000;

    class Report {
    public:
        virtual void onBatteryLevelStatus(short /*level*/, short /*second*/, short /*third*/) {}
        virtual ~Report() = default;
    };

    ~IFeature1000BatteryUnifiedLevelStatus() override = default;
    virtual bool GetBatteryLevelStatus(std::uint16_t* first, std::uint16_t* second, std::uint16_t* third) = 0;
    virtual bool GetBatteryCapability(std::uint16_t* first, std::uint16_t* second, std::uint32_t* third,
                                      std::uint32_t* fourth) = 0;
};

} // namespace devio
