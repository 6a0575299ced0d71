#pragma once
#include "features/Feature.h"
#include "features/IFeature0007DeviceFriendlyName.h"

namespace devio {

class Feature0007DeviceFriendlyName : public FeatureClass<Feature0007DeviceFriendlyName, IFeature0007DeviceFriendlyName> {
public:
    using FeatureClass::FeatureClass;

    bool GetFriendlyNameLen(std::uint16_t* nameLength, std::uint16_t* maxNameLength,
                            std::uint16_t* defaultNameLength) override;
    bool GetFriendlyName(std::string* name) override;
    bool GetFriendlyName(std::uint16_t position, std::vector<Byte>* chunk) override;
    bool GetDefaultFriendlyName(std::string* name) override;
    bool GetDefaultFriendlyName(std::uint16_t position, std::vector<Byte>* chunk) override;
    bool SetFriendlyName(const std::string& name) override;
    bool SetFriendlyName(std::uint8_t position, const std::vector<Byte>& chunk) override;
    bool ResetFriendlyName() override;

private:
    bool read_chunk(std::uint32_t function, std::uint16_t position, std::vector<Byte>* chunk);
    bool read_name(std::uint16_t length, std::uint32_t function, std::string* name);
};

} // namespace devio
