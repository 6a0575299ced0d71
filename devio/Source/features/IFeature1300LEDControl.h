#pragma once
#include "features/IFeature.h"

#include <cstdint>
#include <memory>

namespace devio {

class IRequest;

// Feature 0x1300: LEDs addressed by index. A negative index is refused with code 46 before
// anything is sent.
class IFeature1300LEDControl : public virtual IFeature {
public:
    static constexpr std::uint32_t FeatureId = 0x1300;

    struct LedInfo {
        std::uint32_t info0 = 0;
        std::uint32_t info1 = 0;
        std::uint32_t info2 = 0;
        std::uint32_t info3 = 0; // bytes 3-4
        std::uint32_t info4 = 0;
    };

    ~IFeature1300LEDControl() override = default;
    virtual bool GetLedCount(std::uint32_t& count) = 0;
    virtual bool GetLedInfo(int led, LedInfo& info) = 0;
    virtual bool GetLedControl(bool& on) = 0;
    virtual bool SetLedControl(std::uint8_t value) = 0;
    virtual bool GetLedState(int led, std::uint32_t& state) = 0;
    virtual bool GetLedStateDetails(int led, std::uint32_t& state, std::uint32_t& value, bool& hasExtra,
                                    std::uint32_t& extra) = 0;
    // async: queued without waiting; a later asynchronous write for the same LED replaces it
    // while it is still queued.
    virtual bool SetLedState(int led, std::uint16_t value1, std::uint16_t value2, std::uint16_t value3,
                             std::uint16_t value4, bool async) = 0;
    virtual bool GetLedValue(int led, std::uint32_t& value) = 0;
    virtual bool SetLedValue(int led, std::uint8_t value) = 0;
    virtual std::shared_ptr<IRequest> SetLedStateAsync(int led, std::uint16_t value1, std::uint16_t value2,
                                                       std::uint16_t value3, std::uint16_t value4) = 0;
};

} // namespace devio
