#pragma once
#include "features/Feature.h"
#include "features/IFeature1000BatteryUnifiedLevelStatus.h"

namespace devio {

class Feature1000BatteryUnifiedLeveStatus : public Feature, public IFeature1000BatteryUnifiedLevelStatus,
                                             public Producer<IFeature1000BatteryUnifiedLevelStatus::Report> {
public:
    Feature1000BatteryUnifiedLeveStatus(std::uint8_t featureIndex, std::weak_ptr<IDevice> device);
    static std::shared_ptr<IFeature> create(std::uint8_t featureIndex, std::weak_ptr<IDevice> device);

    bool GetBatteryLevelStatus(std::uint16_t* first, std::uint16_t* second, std::uint16_t* third) override;
    bool GetBatteryCapability(std::uint16_t* first, std::uint16_t* second, std::uint32_t* third,
                              std::uint32_t* fourth) override;

protected:
    void on_notification(int function, const std::vector<Byte>& payload) override;
};

} // namespace devio
