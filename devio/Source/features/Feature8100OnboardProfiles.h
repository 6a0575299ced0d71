#pragma once
#include "features/Feature.h"
#include "features/IFeature8100OnboardProfiles.h"

namespace devio {

class Feature8100OnboardProfiles : public FeatureClass<Feature8100OnboardProfiles, IFeature8100OnboardProfiles>,
                                   public Producer<IFeature8100OnboardProfiles::Report> {
public:
    using FeatureClass::FeatureClass;

    bool GetOnboardProfilesInfo(OnboardProfilesInfo& info) override;
    bool SetOnboardMode(bool onboard) override;
    bool GetOnboardMode(bool& onboard) override;
    bool SetWord(std::uint16_t value) override;
    bool GetWord(std::uint32_t& value) override;
    bool ReadBlock(std::uint16_t a, std::uint16_t b, std::uint8_t length, std::vector<Byte>& bytes) override;
    bool ReadBlock(std::uint16_t a, std::uint16_t b, std::vector<Byte>& bytes) override;
    bool SetThreeWords(std::uint16_t a, std::uint16_t b, std::uint16_t c) override;
    bool SendDataBlock(const std::vector<Byte>& bytes, std::uint32_t& value) override;
    bool CallFunction8() override;
    bool SetTwoWords(std::uint16_t a, std::uint16_t b) override;
    bool QueryBytes(std::uint16_t a, std::vector<Byte>& bytes) override;
    bool GetByteValue(std::uint32_t& value) override;
    bool SetByteValue(std::uint8_t value) override;

protected:
    void on_notification(int function, const std::vector<Byte>& payload) override;
};

} // namespace devio
