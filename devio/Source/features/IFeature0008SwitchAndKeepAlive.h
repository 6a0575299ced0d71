#pragma once
#include "features/IFeature.h"

#include <cstdint>

namespace devio {

// Feature 0x0008: an info read, a keep-alive exchange and a switch command.
class IFeature0008SwitchAndKeepAlive : public virtual IFeature {
public:
    static constexpr std::uint32_t FeatureId = 0x0008;

    ~IFeature0008SwitchAndKeepAlive() override = default;
    virtual bool GetInfo(std::uint16_t* first, std::uint16_t* second) = 0;
    // The value travels low byte first; the result comes back high byte first.
    virtual bool KeepAlive(std::uint16_t value, std::uint16_t* result) = 0;
    virtual bool Switch() = 0;
};

} // namespace devio
