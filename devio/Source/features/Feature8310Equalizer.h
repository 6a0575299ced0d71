#pragma once
#include "features/Feature.h"
#include "features/FeatureHelpers.h"
#include "features/IFeature8310Equalizer.h"

namespace devio {

class Feature8310Equalizer : public FeatureClass<Feature8310Equalizer, IFeature8310Equalizer> {
public:
    using FeatureClass::FeatureClass;

    bool GetEqualizerInfo(EqualizerInfo& info) override;
    bool GetBandValues(int start, std::vector<std::uint32_t>& values) override;
    bool GetBandLevels(std::vector<int>& levels) override;
    bool SetBandLevels(const std::uint8_t& first, const std::vector<int>& levels) override;
    bool GetEqualizerState(std::uint32_t& value) override;
    bool SetEqualizerState(const std::uint32_t& value) override;

    // Its own version as Root reports it; asked again on every call while unread (255).
    std::uint32_t feature_version() override;

private:
    OwnVersion m_version;
};

} // namespace devio
