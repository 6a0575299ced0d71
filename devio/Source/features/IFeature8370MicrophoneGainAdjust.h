#pragma once
#include "features/IFeature.h"

#include <cstdint>
#include <vector>

namespace devio {

// Feature 0x8370: headset levels, by index and entry, and their change reports.
class IFeature8370MicrophoneGainAdjust : public virtual IFeature {
public:
    static constexpr std::uint32_t FeatureId = 0x8370;

    class Report {
    public:
        virtual void onMicLevelChanged(int /*count*/, bool /*on*/, std::vector<int> /*levels*/) {}
        virtual ~Report() = default;
    };

    ~IFeature8370MicrophoneGainAdjust() override = default;
    // A non-empty reply is enough: bytes past its end read as 0.
    virtual bool GetAudioInfo(std::uint32_t& value) = 0;
    virtual bool GetLevelInfo(std::uint8_t index, std::uint32_t& a, std::uint32_t& b) = 0;
    virtual bool GetLevelEntry(std::uint8_t index, std::uint8_t entry, std::uint32_t& a, std::uint32_t& b,
                               std::uint32_t& c, std::uint32_t& d) = 0;
    virtual bool SetLevel(std::uint8_t first, std::uint8_t second, std::uint8_t third, std::uint32_t& a,
                          std::uint32_t& b, std::uint32_t& c) = 0;
};

} // namespace devio
