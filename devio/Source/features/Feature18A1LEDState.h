#pragma once
#include "features/Feature.h"
#include "features/IFeature18A1LEDState.h"

namespace devio {

class Feature18A1LEDState : public FeatureClass<Feature18A1LEDState, IFeature18A1LEDState> {
public:
    using FeatureClass::FeatureClass;

    bool GetLedStateCapabilities(LedStateFlags& flags) override;
    bool GetLedStateFlags(LedStateFlags& flags) override;
    bool SetLedStateFlags(const LedStateFlags& flags) override;

    static LedStateFlags decode(const std::vector<Byte>& bitmap);
    static std::vector<Byte> encode(const LedStateFlags& flags);

private:
    bool read_flags(std::uint32_t function, LedStateFlags& flags);
};

} // namespace devio
