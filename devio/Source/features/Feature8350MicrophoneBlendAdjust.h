#pragma once
#include "features/Feature.h"
#include "features/IFeature8350MicrophoneBlendAdjust.h"

namespace devio {

class Feature8350MicrophoneBlendAdjust
    : public FeatureClass<Feature8350MicrophoneBlendAdjust, IFeature8350MicrophoneBlendAdjust>,
      public Producer<IFeature8350MicrophoneBlendAdjust::Report> {
public:
    using FeatureClass::FeatureClass;

    bool GetAudioInfo(std::uint32_t& value) override;
    bool GetBlendInfo(std::uint8_t first, std::uint8_t second, std::uint32_t& a, std::uint32_t& b, bool& flag,
                      std::uint32_t& c) override;
    bool SetBlendInfo(std::uint8_t first, std::uint8_t second, std::uint8_t third, std::uint32_t& a, std::uint32_t& b,
                      bool& flag, std::uint32_t& c) override;
    bool GetBlendState(std::uint32_t& value) override;
    bool GetBlendLevelInfo(std::uint8_t first, std::uint32_t& a, std::uint32_t& b) override;
    bool GetBlendLevel(std::uint8_t first, std::uint32_t& a, std::uint16_t& b) override;
    bool SetBlendLevel(std::uint8_t first, std::uint8_t second, std::uint32_t& a, std::uint16_t& b) override;
    std::string BlendModeToString(Mode mode) override;

protected:
    void on_notification(int function, const std::vector<Byte>& payload) override;

private:
    bool read(std::uint32_t function, const std::vector<Byte>& params, std::vector<Byte>& reply);
};

} // namespace devio
