#pragma once
#include "features/Feature.h"
#include "features/IFeature1D4BWirelessStatus.h"

namespace devio {

class Feature1D4BWirelessStatus : public FeatureClass<Feature1D4BWirelessStatus, IFeature1D4BWirelessStatus>,
                                  public Producer<IFeature1D4BWirelessStatus::Report> {
public:
    using FeatureClass::FeatureClass;

protected:
    void on_notification(int function, const std::vector<Byte>& payload) override;
};

} // namespace devio
