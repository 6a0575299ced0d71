#pragma once
#include "features/IFeature.h"

#include <cstdint>

namespace devio {

// Feature 0x18A1: 30 LED state flags packed into a 5-byte bit map (byte 1 unused).
class IFeature18A1LEDState : public virtual IFeature {
public:
    static constexpr std::uint32_t FeatureId = 0x18A1;

    struct LedStateFlags {
        bool flag0 = false, flag1 = false, flag2 = false, flag3 = false, flag4 = false, flag5 = false;
        bool flag6 = false, flag7 = false, flag8 = false, flag9 = false, flag10 = false, flag11 = false;
        bool flag12 = false, flag13 = false, flag14 = false, flag15 = false, flag16 = false, flag17 = false;
        bool flag18 = false, flag19 = false, flag20 = false, flag21 = false, flag22 = false, flag23 = false;
        bool flag24 = false, flag25 = false, flag26 = false, flag27 = false, flag28 = false, flag29 = false;
    };

    ~IFeature18A1LEDState() override = default;
    virtual bool GetLedStateCapabilities(LedStateFlags& flags) = 0;
    virtual bool GetLedStateFlags(LedStateFlags& flags) = 0;
    virtual bool SetLedStateFlags(const LedStateFlags& flags) = 0;
};

} // namespace devio
