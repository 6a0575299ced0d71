#pragma once
#include "features/IFeature.h"

#include <cstdint>
#include <string>

namespace devio {

// Feature 0x8350: microphone blend entries, levels and mode, and their change reports. A
// non-empty reply is enough: bytes past its end read as 0.
class IFeature8350MicrophoneBlendAdjust : public virtual IFeature {
public:
    static constexpr std::uint32_t FeatureId = 0x8350;

    enum Mode : std::uint16_t {
        MicrophoneGain = 0,
        HeadphoneVolume = 1,
        SidetoneBlend = 2,
    };

    class Report {
    public:
        virtual void onMicBlendLevelChanged(int /*a*/, int /*b*/, int /*c*/) {}
        virtual void onMicModeChanged(int /*a*/, Mode /*mode*/) {}
        virtual ~Report() = default;
    };

    ~IFeature8350MicrophoneBlendAdjust() override = default;
    virtual bool GetAudioInfo(std::uint32_t& value) = 0;
    virtual bool GetBlendInfo(std::uint8_t first, std::uint8_t second, std::uint32_t& a, std::uint32_t& b, bool& flag,
                              std::uint32_t& c) = 0;
    // The flag and c swap places against GetBlendInfo: flag from byte 3, c from byte 2.
    virtual bool SetBlendInfo(std::uint8_t first, std::uint8_t second, std::uint8_t third, std::uint32_t& a,
                              std::uint32_t& b, bool& flag, std::uint32_t& c) = 0;
    virtual bool GetBlendState(std::uint32_t& value) = 0;
    virtual bool GetBlendLevelInfo(std::uint8_t first, std::uint32_t& a, std::uint32_t& b) = 0;
    virtual bool GetBlendLevel(std::uint8_t first, std::uint32_t& a, std::uint16_t& b) = 0;
    virtual bool SetBlendLevel(std::uint8_t first, std::uint8_t second, std::uint32_t& a, std::uint16_t& b) = 0;
    virtual std::string BlendModeToString(Mode mode) = 0;
};

} // namespace devio
