#pragma once
#include "features/Feature.h"
#include "features/IFeature1981KeyboardBacklight.h"

namespace devio {

class Feature1981KeyboardBacklight : public FeatureClass<Feature1981KeyboardBacklight, IFeature1981KeyboardBacklight>,
                                     public Producer<IFeature1981KeyboardBacklight::Report> {
public:
    using FeatureClass::FeatureClass;

    bool GetBacklightValue(std::uint16_t* value) override;
    bool SetBacklightValue(std::uint8_t value) override;

protected:
    void on_notification(int function, const std::vector<Byte>& payload) override;
};

} // namespace devio
