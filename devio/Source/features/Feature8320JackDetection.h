#pragma once
#include "features/Feature.h"
#include "features/IFeature8320JackDetection.h"

namespace devio {

class Feature8320JackDetection : public FeatureClass<Feature8320JackDetection, IFeature8320JackDetection>,
                                 public Producer<IFeature8320JackDetection::Report> {
public:
    using FeatureClass::FeatureClass;

    bool GetJackState(std::uint16_t& a, std::uint16_t& b) override;

protected:
    void on_notification(int function, const std::vector<Byte>& payload) override;
};

} // namespace devio
