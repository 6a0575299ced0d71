#pragma once
#include "features/Feature.h"
#include "features/IFeature8030MR.h"

namespace devio {

class Feature8030MR : public FeatureClass<Feature8030MR, IFeature8030MR>, public Producer<IFeature8030MR::Report> {
public:
    using FeatureClass::FeatureClass;

    bool SetMRState(std::uint8_t value) override;

protected:
    void on_notification(int function, const std::vector<Byte>& payload) override;
};

} // namespace devio
