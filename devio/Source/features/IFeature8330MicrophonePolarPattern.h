#pragma once
#include "features/IFeature.h"

#include <cstdint>
#include <string>
#include <vector>

namespace devio {

// Feature 0x8330: the microphone's pick-up patterns, the active one and its changes.
class IFeature8330MicrophonePolarPattern : public virtual IFeature {
public:
    static constexpr std::uint32_t FeatureId = 0x8330;

    // Also the wire values; any byte but 1 to 4 is 0.
    enum PolarPattern : std::uint16_t {
        Unknown = 0,
        Cardioid_Stereo = 1,
        Cardioid_Mono = 2,
        Bidirectional = 3,
        Omnidirectional = 4,
    };

    class Report {
    public:
        virtual void onMicPolarPatternChanged(PolarPattern /*pattern*/) {}
        virtual ~Report() = default;
    };

    ~IFeature8330MicrophonePolarPattern() override = default;
    // Appends the supported patterns to the caller's list, lowest bit first.
    virtual bool GetSupportedPolarPatterns(std::vector<PolarPattern>& patterns) = 0;
    virtual bool GetPolarPattern(PolarPattern& pattern) = 0;
    virtual bool SetPolarPattern(std::uint8_t pattern, PolarPattern& active) = 0;
    virtual std::string PolarPatternToString(PolarPattern pattern) = 0;
    virtual std::uint16_t PolarPatternToValue(PolarPattern pattern) = 0;
    virtual PolarPattern PolarPatternFromByte(std::uint8_t value) = 0;
};

} // namespace devio
