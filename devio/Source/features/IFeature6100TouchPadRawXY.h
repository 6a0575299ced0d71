#pragma once
#include "features/IFeature.h"

#include <cstdint>

namespace devio {

// Feature 0x6100: touch-pad description, mode, and raw reports carrying two XY points.
class IFeature6100TouchPadRawXY : public virtual IFeature {
public:
    static constexpr std::uint32_t FeatureId = 0x6100;

    struct TouchPoint {
        std::uint32_t reserved1 = 0;
        std::uint32_t reserved2 = 0;
        std::int32_t x = 0;
        std::int32_t y = 0;
        std::uint32_t byteA = 0;
        std::uint32_t byteB = 0;
        std::uint32_t nibble = 0;
    };
    struct DualXYData {
        std::uint16_t leadingWord = 0;
        TouchPoint point1;
        TouchPoint point2;
        bool flag0 = false, flag1 = false, flag2 = false, flag3 = false;
        std::uint32_t trailingNibble = 0;
    };
    struct TouchPadInfo {
        std::uint16_t first = 0;
        std::uint16_t second = 0;
        std::uint8_t bytes[5] = {0, 0, 0, 0, 0};
        std::uint8_t bit = 0;
        std::uint8_t byte12 = 0;
        std::uint16_t third = 0;
        std::uint8_t byte15 = 0;
    };

    class Report {
    public:
        virtual void onRawReport() {} // never published
        virtual void onDualXYData(DualXYData /*data*/) {}
        virtual void onModeChanged(unsigned int /*softwareId*/) {}
        virtual ~Report() = default;
    };

    ~IFeature6100TouchPadRawXY() override = default;
    virtual bool GetTouchPadInfo(TouchPadInfo* info) = 0;
    virtual bool GetMode(std::uint8_t* mode) = 0;
    virtual bool SetMode(std::uint8_t mode) = 0;
};

} // namespace devio
