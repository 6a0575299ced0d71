#pragma once
#include "features/Feature.h"
#include "features/IFeature1A00PresenterControl.h"

namespace devio {

class Feature1A00PresenterControl : public FeatureClass<Feature1A00PresenterControl, IFeature1A00PresenterControl> {
public:
    using FeatureClass::FeatureClass;

    bool GetPresenterSetting(unsigned short* value) override;
    bool SetPresenterSetting(short value, std::uint8_t extra) override;
    bool SetPresenterConfiguration(std::uint8_t selector, std::uint8_t config0, short config1, std::uint8_t config3,
                                   unsigned short config4, std::uint8_t config6, std::uint8_t config7,
                                   std::uint8_t config8, std::uint8_t config9) override;
    bool GetPresenterConfiguration(std::uint8_t* config0, unsigned short* config1, std::uint8_t* config3,
                                   unsigned short* config4, std::uint8_t* config6, std::uint8_t* config7,
                                   std::uint8_t* config8, std::uint8_t* config9) override;
};

} // namespace devio
