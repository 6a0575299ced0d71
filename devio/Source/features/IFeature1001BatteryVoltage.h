#pragma once
#include "features/IFeature.h"

#include <cstdint>

namespace devio {

// Feature 0x1001: battery voltage with charging flags, on request and by notification.
class IFeature1001BatteryVoltage : public virtual IFeature {
public:
    static constexpr std::uint32_t FeatureId = 0x1001;

    struct BatteryInfo {
        std::uint8_t fromNotification = 0; // 1 when decoded from a notification
        std::uint16_t voltage = 0;
        bool flagBit7 = false;
        bool flagBit4 = false;
        bool flagBit3 = false;
        std::uint32_t status = 0; // bits 0-2 of the flags byte
        std::uint8_t reserved = 0;
    };

    class Report {
    public:
        virtual void OnBatteryInfoChange(const BatteryInfo& /*info*/) {}
        virtual ~Report() = default;
    };

    ~IFeature1001BatteryVoltage() override = default;
    // A reply under 3 bytes gives false without a code of its own.
    virtual bool GetBatteryInfo(BatteryInfo& info) = 0;
    virtual bool CallFunction1() = 0;
};

} // namespace devio
