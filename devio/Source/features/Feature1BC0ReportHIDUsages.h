#pragma once
#include "features/Feature.h"
#include "features/IFeature1BC0ReportHIDUsages.h"

namespace devio {

class Feature1BC0ReportHIDUsages : public FeatureClass<Feature1BC0ReportHIDUsages, IFeature1BC0ReportHIDUsages>,
                                   public Producer<IFeature1BC0ReportHIDUsages::Report> {
public:
    using FeatureClass::FeatureClass;

    bool PlaceholderOp1() override;
    bool SetUsages(std::uint8_t selector, UsagePackage package) override;
    bool CallFunction2() override;

protected:
    void on_notification(int function, const std::vector<Byte>& payload) override;
};

} // namespace devio
