#pragma once
#include "features/Feature.h"
#include "features/IFeature8111LatencyMonitoring.h"

namespace devio {

class Feature8111LatencyMonitoring : public FeatureClass<Feature8111LatencyMonitoring, IFeature8111LatencyMonitoring>,
                                     public Producer<IFeature8111LatencyMonitoring::Report> {
public:
    using FeatureClass::FeatureClass;

    bool GetLatencyInfo(std::array<Byte, 3>& info) override;
    bool SetLatencyMonitoring(bool enable, std::uint8_t value, const std::vector<std::uint32_t>& thresholds) override;

protected:
    void on_notification(int function, const std::vector<Byte>& payload) override;
};

} // namespace devio
