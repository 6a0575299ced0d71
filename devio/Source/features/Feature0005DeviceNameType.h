#pragma once
#include "features/Feature.h"
#include "features/IFeature0005DeviceNameType.h"

#include <string>

namespace devio {

class Feature0005DeviceNameType : public FeatureClass<Feature0005DeviceNameType, IFeature0005DeviceNameType> {
public:
    using FeatureClass::FeatureClass;

    bool GetCount(std::uint32_t* count) override;
    bool GetName(std::string* name) override;
    bool GetName(std::uint8_t charIndex, std::vector<Byte>* chunk) override;
    bool GetType(std::uint32_t* type) override;
    bool GetType(std::uint8_t* type) override;

private:
    // The whole name, kept after the first complete read (bytes as the device sent them).
    bool m_cached_name_valid = false;
    std::string m_cached_name;
};

} // namespace devio
