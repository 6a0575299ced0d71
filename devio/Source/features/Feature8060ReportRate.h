#pragma once
#include "features/Feature.h"
#include "features/IFeature8060ReportRate.h"

namespace devio {

class Feature8060ReportRate : public FeatureClass<Feature8060ReportRate, IFeature8060ReportRate> {
public:
    using FeatureClass::FeatureClass;

    bool GetRateInfo(std::uint8_t* value) override;
    bool GetReportRate(std::uint8_t* rate) override;
    bool SetReportRate(std::uint8_t rate) override;
};

} // namespace devio
