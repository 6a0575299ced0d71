#pragma once
#include "features/Feature.h"
#include "features/IFeature1982Backlight.h"

namespace devio {

class Feature1982Backlight : public FeatureClass<Feature1982Backlight, IFeature1982Backlight>,
                             public Producer<IFeature1982Backlight::Report> {
public:
    using FeatureClass::FeatureClass;

    bool GetBacklightConfig(BacklightConfig* config, BacklightOptions* options) override;
    bool SetBacklightConfig(const BacklightConfig& config) override;
    bool GetBacklightInfo(std::uint8_t* a, std::uint8_t* b, std::uint8_t* c) override;

protected:
    void on_notification(int function, const std::vector<Byte>& payload) override;
};

} // namespace devio
