#pragma once
#include "features/IFeature.h"

#include <cstdint>
#include <vector>

namespace devio {

// Feature 0x8310: the headset equaliser; bands, values, levels and a one-byte state.
class IFeature8310Equalizer : public virtual IFeature {
public:
    static constexpr std::uint32_t FeatureId = 0x8310;

    struct EqualizerInfo {
        std::uint32_t bandCount = 0;
        std::uint32_t infoByte1 = 0;
        std::uint32_t infoByte2 = 0;
        std::uint8_t infoByte3 = 0;
        std::uint8_t infoByte4 = 0;
    };

    ~IFeature8310Equalizer() override = default;
    virtual bool GetEqualizerInfo(EqualizerInfo& info) = 0;
    virtual bool GetBandValues(int start, std::vector<std::uint32_t>& values) = 0;
    // Appends to the caller's list.
    virtual bool GetBandLevels(std::vector<int>& levels) = 0;
    // More levels than one long report carries are refused with code 46.
    virtual bool SetBandLevels(const std::uint8_t& first, const std::vector<int>& levels) = 0;
    virtual bool GetEqualizerState(std::uint32_t& value) = 0;
    virtual bool SetEqualizerState(const std::uint32_t& value) = 0;
};

} // namespace devio
