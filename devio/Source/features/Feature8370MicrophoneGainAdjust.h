#pragma once
#include "features/Feature.h"
#include "features/IFeature8370MicrophoneGainAdjust.h"

namespace devio {

class Feature8370MicrophoneGainAdjust : public FeatureClass<Feature8370MicrophoneGainAdjust, IFeature8370MicrophoneGainAdjust>,
    public Producer<IFeature8370MicrophoneGainAdjust::Report> {
public:
    using FeatureClass::FeatureClass;

    bool GetAudioInfo(std::uint32_t& value) override;
    bool GetLevelInfo(std::uint8_t index, std::uint32_t& a, std::uint32_t& b) override;
    bool GetLevelEntry(std::uint8_t index, std::uint8_t entry, std::uint32_t& a, std::uint32_t& b, std::uint32_t& c,
                       std::uint32_t& d) override;
    bool SetLevel(std::uint8_t first, std::uint8_t second, std::uint8_t third, std::uint32_t& a, std::uint32_t& b,
                  std::uint32_t& c) override;

protected:
    void on_notification(int function, const std::vector<Byte>& payload) override;
};

} // namespace devio
