#pragma once
#include "features/IFeature.h"

#include <cstdint>
#include <string>
#include <vector>

namespace devio {

// Feature 0x0007: a host-writable friendly name and its default, in 15-byte chunks.
class IFeature0007DeviceFriendlyName : public virtual IFeature {
public:
    static constexpr std::uint32_t FeatureId = 0x0007;

    ~IFeature0007DeviceFriendlyName() override = default;
    virtual bool GetFriendlyNameLen(std::uint16_t* nameLength, std::uint16_t* maxNameLength,
                                    std::uint16_t* defaultNameLength) = 0;
    virtual bool GetFriendlyName(std::string* name) = 0;
    virtual bool GetFriendlyName(std::uint16_t position, std::vector<Byte>* chunk) = 0;
    virtual bool GetDefaultFriendlyName(std::string* name) = 0;
    virtual bool GetDefaultFriendlyName(std::uint16_t position, std::vector<Byte>* chunk) = 0;
    virtual bool SetFriendlyName(const std::string& name) = 0;
    virtual bool SetFriendlyName(std::uint8_t position, const std::vector<Byte>& chunk) = 0;
    virtual bool ResetFriendlyName() = 0;
};

} // namespace devio
