#pragma once
#include "features/Feature.h"
#include "features/IFeature1001BatteryVoltage.h"

namespace devio {

class Feature1001BatteryVoltage : public FeatureClass<Feature1001BatteryVoltage, IFeature1001BatteryVoltage>,
                                  public Producer<IFeature1001BatteryVoltage::Report> {
public:
    using FeatureClass::FeatureClass;

    bool GetBatteryInfo(BatteryInfo& info) override;
    bool CallFunction1() override;

    // Voltage and flags from bytes 0-2 of a reply or notification.
    static void decode(const std::vector<Byte>& payload, BatteryInfo& info);

protected:
    void on_notification(int function, const std::vector<Byte>& payload) override;
};

} // namespace devio
