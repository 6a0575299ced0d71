#pragma once
#include "features/Feature.h"
#include "features/IFeature8300Sidetone.h"

namespace devio {

class Feature8300Sidetone : public FeatureClass<Feature8300Sidetone, IFeature8300Sidetone>,
                            public Producer<IFeature8300Sidetone::Report> {
public:
    using FeatureClass::FeatureClass;

    bool GetAudioInfo(std::uint32_t& value) override;
    bool SetSidetoneSetting(const std::uint8_t& value) override;
    bool GetSidetoneSetting(std::uint32_t& value) override;
    bool SetSidetoneSettingPair(const std::uint8_t& first, const std::uint8_t& second) override;

protected:
    void on_notification(int function, const std::vector<Byte>& payload) override;
};

} // namespace devio
