#pragma once
#include "features/IFeature.h"

#include <cstdint>

namespace devio {

// Feature 0x4600: the crown, a dial with its own events. Short replies read as zeros.
class IFeature4600Crown : public virtual IFeature {
public:
    static constexpr std::uint32_t FeatureId = 0x4600;

    struct CrownCapabilities {
        bool flag1 = false, flag2 = false, flag3 = false, flag4 = false, flag5 = false, flag6 = false;
        bool flag7 = false, flag8 = false, flag9 = false, flag10 = false;
        std::uint32_t firstValue = 0;
        std::uint32_t secondValue = 0;
    };
    struct CrownMode {
        std::uint8_t first = 0;
        std::uint8_t second = 0;
        std::uint32_t third = 0;
        std::uint32_t fourth = 0;
        std::uint32_t fifth = 0;
    };
    struct CrownEventData {
        std::uint8_t first = 0;
        std::int32_t second = 0;
        std::int32_t third = 0;
        std::uint8_t state[4] = {0, 0, 0, 0};
        std::uint16_t lastValue = 0;
    };

    class CrownEvent {
    public:
        virtual void onCrownEvent(CrownEventData /*data*/) {}
        virtual void onModeChanged(unsigned int /*softwareId*/, CrownMode /*mode*/) {}
        virtual ~CrownEvent() = default;
    };

    ~IFeature4600Crown() override = default;
    virtual bool GetCapabilities(CrownCapabilities& capabilities) = 0;
    virtual bool GetMode(CrownMode& mode) = 0;
    // mode is overwritten with the mode the device returns.
    virtual bool SetMode(CrownMode& mode) = 0;
};

} // namespace devio
