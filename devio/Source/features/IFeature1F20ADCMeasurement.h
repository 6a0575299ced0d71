#pragma once
#include "features/IFeature.h"

#include <cstdint>

namespace devio {

// Feature 0x1F20: a measured value with four state bits under a 4-bit selector. Two operations
// exist from version 4 on; the feature reads its own version through Root. Short replies give
// false without a code of their own.
class IFeature1F20ADCMeasurement : public virtual IFeature {
public:
    static constexpr std::uint32_t FeatureId = 0x1F20;

    struct DeviceState {
        std::uint16_t value = 0;
        bool stateBit1 = false;
        bool stateBit0 = false;
        bool stateBit2 = false;
        bool stateBit3 = false;
    };

    class Report {
    public:
        virtual void onStatusChange(const DeviceState& /*state*/) {}
        virtual ~Report() = default;
    };

    ~IFeature1F20ADCMeasurement() override = default;
    // Refused without sending when bits 4-7 of selector are set.
    virtual bool GetDeviceState(DeviceState& state, std::int32_t selector) = 0;
    virtual bool GetInfoByte(std::uint8_t& value) = 0;
    virtual bool SetModeByte(std::uint8_t value) = 0;
    // Refused without sending once a version below 4 has been read.
    virtual bool GetFlags(std::uint32_t& flags, std::uint8_t& option) = 0;
    // Also refused for any kind but 1.
    virtual bool SetOption(std::int32_t kind, std::uint8_t value) = 0;
};

} // namespace devio
