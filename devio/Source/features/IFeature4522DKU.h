#pragma once
#include "features/IFeature.h"

#include <cstdint>
#include <vector>

namespace devio {

// Feature 0x4522: disables and enables keys by their HID usage (the low byte of each value).
class IFeature4522DKU : public virtual IFeature {
public:
    static constexpr std::uint32_t FeatureId = 0x4522;

    ~IFeature4522DKU() override = default;
    virtual bool GetCapabilities(std::uint32_t* count) = 0;
    virtual bool DisableKeys(const std::vector<std::uint32_t>& usages) = 0;
    // At most the device's count of usages, in one request.
    virtual bool EnableKeys(const std::vector<std::uint32_t>& usages) = 0;
    virtual bool EnableAllKeys() = 0;
};

} // namespace devio
