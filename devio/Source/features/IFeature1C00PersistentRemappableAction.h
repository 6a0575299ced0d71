#pragma once
#include "features/IFeature.h"

#include <cstdint>

namespace devio {

// Feature 0x1C00: persistent remappable actions. Out-parameters are preset before sending
// (and keep the preset on failure); every failed request reports code 1.
class IFeature1C00PersistentRemappableAction : public virtual IFeature {
public:
    static constexpr std::uint32_t FeatureId = 0x1C00;

    struct ActionRecord {
        std::uint32_t id = 0; // 16 bits on the wire
        std::uint8_t param1 = 0;
        std::uint8_t param2 = 0;
    };
    struct ActionPair {
        ActionRecord first;
        ActionRecord second;
    };

    ~IFeature1C00PersistentRemappableAction() override = default;
    virtual bool GetValue(std::uint32_t& value) = 0;
    virtual bool GetBytePair(std::uint32_t& first, std::uint32_t& second) = 0;
    virtual bool GetValueFor(std::uint8_t a, std::uint8_t b, std::uint32_t& value) = 0;
    virtual bool GetActions(std::uint32_t keyId, std::uint8_t b, ActionPair& actions) = 0;
    virtual bool SetAction(std::uint32_t keyId, std::uint8_t b, std::uint8_t c, std::uint32_t id, std::uint8_t d) = 0;
    virtual bool CallFunction5(std::uint32_t keyId, std::uint8_t b) = 0;
    virtual bool CallFunction6(std::uint8_t a) = 0;
};

} // namespace devio
