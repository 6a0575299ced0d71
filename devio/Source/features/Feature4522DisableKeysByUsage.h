#pragma once
#include "features/Feature.h"
#include "features/IFeature4522DKU.h"

namespace devio {

class Feature4522DisableKeysByUsage : public FeatureClass<Feature4522DisableKeysByUsage, IFeature4522DKU> {
public:
    using FeatureClass::FeatureClass;

    // One request's parameters: the low bytes of usages[from, from + count), then 0x00.
    static std::vector<Byte> usage_params(const std::vector<std::uint32_t>& usages, std::size_t from,
                                          std::size_t count);

    bool GetCapabilities(std::uint32_t* count) override;
    bool DisableKeys(const std::vector<std::uint32_t>& usages) override;
    bool EnableKeys(const std::vector<std::uint32_t>& usages) override;
    bool EnableAllKeys() override;
};

} // namespace devio
