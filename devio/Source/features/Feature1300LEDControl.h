#pragma once
#include "features/Feature.h"
#include "features/IFeature1300LEDControl.h"

namespace devio {

class Feature1300LEDControl : public FeatureClass<Feature1300LEDControl, IFeature1300LEDControl> {
public:
    using FeatureClass::FeatureClass;

    bool GetLedCount(std::uint32_t& count) override;
    bool GetLedInfo(int led, LedInfo& info) override;
    bool GetLedControl(bool& on) override;
    bool SetLedControl(std::uint8_t value) override;
    bool GetLedState(int led, std::uint32_t& state) override;
    bool GetLedStateDetails(int led, std::uint32_t& state, std::uint32_t& value, bool& hasExtra,
                            std::uint32_t& extra) override;
    bool SetLedState(int led, std::uint16_t value1, std::uint16_t value2, std::uint16_t value3, std::uint16_t value4,
                     bool async) override;
    bool GetLedValue(int led, std::uint32_t& value) override;
    bool SetLedValue(int led, std::uint8_t value) override;
    std::shared_ptr<IRequest> SetLedStateAsync(int led, std::uint16_t value1, std::uint16_t value2,
                                               std::uint16_t value3, std::uint16_t value4) override;
};

} // namespace devio
