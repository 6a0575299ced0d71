#pragma once
#include "features/Feature.h"
#include "features/IFeature8330MicrophonePolarPattern.h"

namespace devio {

class Feature8330MicrophonePolarPattern
    : public FeatureClass<Feature8330MicrophonePolarPattern, IFeature8330MicrophonePolarPattern>,
      public Producer<IFeature8330MicrophonePolarPattern::Report> {
public:
    using FeatureClass::FeatureClass;

    bool GetSupportedPolarPatterns(std::vector<PolarPattern>& patterns) override;
    bool GetPolarPattern(PolarPattern& pattern) override;
    bool SetPolarPattern(std::uint8_t pattern, PolarPattern& active) override;
    std::string PolarPatternToString(PolarPattern pattern) override;
    std::uint16_t PolarPatternToValue(PolarPattern pattern) override;
    PolarPattern PolarPatternFromByte(std::uint8_t value) override;

protected:
    void on_notification(int function, const std::vector<Byte>& payload) override;
};

} // namespace devio
