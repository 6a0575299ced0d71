#pragma once
#include "features/IFeature.h"

#include <cstdint>
#include <vector>

namespace devio {

// Feature 0x8100: profiles kept in the device's memory; information, mode, blocks of data.
class IFeature8100OnboardProfiles : public virtual IFeature {
public:
    static constexpr std::uint32_t FeatureId = 0x8100;

    enum ProfileId : std::uint16_t {};

    struct OnboardProfilesInfo {
        std::uint32_t b0 = 0, b1 = 0, b2 = 0, b3 = 0, b4 = 0, b5 = 0, b6 = 0;
        std::uint32_t value16 = 0;
        bool flagA = false;
        bool flagB = false;
        std::uint32_t field2 = 0;
    };

    class Report {
    public:
        virtual void onProfileActivated(ProfileId /*profile*/) {}
        virtual void onActiveProfileResolutionChanged(int /*value*/) {}
        virtual ~Report() = default;
    };

    ~IFeature8100OnboardProfiles() override = default;
    virtual bool GetOnboardProfilesInfo(OnboardProfilesInfo& info) = 0;
    virtual bool SetOnboardMode(bool onboard) = 0;
    virtual bool GetOnboardMode(bool& onboard) = 0;
    virtual bool SetWord(std::uint16_t value) = 0;
    virtual bool GetWord(std::uint32_t& value) = 0;
    virtual bool ReadBlock(std::uint16_t a, std::uint16_t b, std::uint8_t length, std::vector<Byte>& bytes) = 0;
    virtual bool ReadBlock(std::uint16_t a, std::uint16_t b, std::vector<Byte>& bytes) = 0;
    virtual bool SetThreeWords(std::uint16_t a, std::uint16_t b, std::uint16_t c) = 0;
    // 1 to 16 bytes, zero-padded to 16; others are refused without sending.
    virtual bool SendDataBlock(const std::vector<Byte>& bytes, std::uint32_t& value) = 0;
    virtual bool CallFunction8() = 0;
    virtual bool SetTwoWords(std::uint16_t a, std::uint16_t b) = 0;
    virtual bool QueryBytes(std::uint16_t a, std::vector<Byte>& bytes) = 0;
    virtual bool GetByteValue(std::uint32_t& value) = 0;
    virtual bool SetByteValue(std::uint8_t value) = 0;
};

} // namespace devio
