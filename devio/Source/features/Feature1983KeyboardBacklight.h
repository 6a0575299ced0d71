#pragma once
#include "features/Feature.h"
#include "features/IFeature1983KeyboardBacklight.h"

namespace devio {

class Feature1983KeyboardBacklight : public FeatureClass<Feature1983KeyboardBacklight, IFeature1983KeyboardBacklight>,
                                     public Producer<IFeature1983KeyboardBacklight::Report> {
public:
    using FeatureClass::FeatureClass;

    bool GetBacklightSupport(bool* s0, bool* s1, bool* s2, bool* s3) override;
    bool GetBacklightSettings(std::uint16_t* value, bool* f0, bool* f1, bool* f2, bool* f3) override;
    bool SetBacklightSettings(std::int16_t value, bool f0, bool f1, bool f2, bool f3) override;
    bool GetBacklightState(std::uint8_t* a, std::uint8_t* b, std::uint8_t* c) override;

protected:
    void on_notification(int function, const std::vector<Byte>& payload) override;
};

} // namespace devio
