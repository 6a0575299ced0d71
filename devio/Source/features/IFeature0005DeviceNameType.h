#pragma once
#include "features/IFeature.h"

#include <cstdint>
#include <string>
#include <vector>

namespace devio {

// Feature 0x0005: the device's name (read in chunks and kept) and its device type.
class IFeature0005DeviceNameType : public virtual IFeature {
public:
    static constexpr std::uint32_t FeatureId = 0x0005;

    ~IFeature0005DeviceNameType() override = default;
    virtual bool GetCount(std::uint32_t* count) = 0;
    virtual bool GetName(std::string* name) = 0;
    virtual bool GetName(std::uint8_t charIndex, std::vector<Byte>* chunk) = 0;
    virtual bool GetType(std::uint32_t* type) = 0;
    virtual bool GetType(std::uint8_t* type) = 0;
};

} // namespace devio
