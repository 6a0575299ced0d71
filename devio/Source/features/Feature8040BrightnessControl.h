#pragma once
#include "features/Feature.h"
#include "features/IFeature8040BrightnessControl.h"

namespace devio {

class Feature8040BrightnessControl
    : public FeatureClass<Feature8040BrightnessControl, IFeature8040BrightnessControl>,
      public Producer<IFeature8040BrightnessControl::Report> {
public:
    using FeatureClass::FeatureClass;

    bool GetBrightnessInfo(BrightnessInfo& info) override;
    bool GetBrightness(std::uint16_t& brightness) override;
    bool SetBrightness(std::int16_t brightness) override;

protected:
    void on_notification(int function, const std::vector<Byte>& payload) override;
};

} // namespace devio
