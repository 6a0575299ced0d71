#pragma once
#include "features/Feature.h"
#include "features/IFeature1000BatteryUnifiedLevelStatus.h"

namespace devio {

class Feature1000BatteryUnifiedLeveStatus : public FeatureClass<Feature1000BatteryUnifiedLeveStatus, IFeature1000BatteryUnifiedLevelStatus>,
                                             public Producer<IFeature1000BatteryUnifiedLevelStatus::Report> {
public:
    using FeatureClass::FeatureClass;

    bool GetBatteryLevelStatus(std::uint16_t* first, std::uint16_t* second, std::uint16_t* third) override;
    bool GetBatteryCapability(std::uint16_t* first, std::uint16_t* second, std::uint32_t* third,
                              std::uint32_t* fourth) override;

protected:
    void on_notification(int function, const std::vector<Byte>& payload) override;
};

} // namespace devio
