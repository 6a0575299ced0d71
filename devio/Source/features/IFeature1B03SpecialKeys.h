#pragma once
#include "features/IFeature.h"

#include <cstdint>
#include <vector>

namespace devio {

// Feature 0x1B03: special keys with a per-key reporting byte. Writes the device cannot take
// (code 5) are kept and sent again after its next configuration change.
class IFeature1B03SpecialKeys : public virtual IFeature {
public:
    static constexpr std::uint32_t FeatureId = 0x1B03;

    class KeyReport {
    public:
        virtual void onKeyChange(std::vector<std::uint32_t> /*keys*/) {}
        // Another program changed a key's reporting (its software id first).
        virtual void OnKeyDiverted(std::uint32_t /*softwareId*/, std::uint32_t /*keyId*/, bool /*diverted*/) {}
        virtual ~KeyReport() = default;
    };

    ~IFeature1B03SpecialKeys() override = default;
    virtual bool GetCount(std::uint32_t* count) = 0;
    virtual bool GetKeyInfo(std::uint8_t index, std::uint32_t* keyId, std::uint32_t* secondId,
                            std::uint8_t* keyFlags) = 0;
    virtual bool GetKeyReporting(std::uint32_t keyId, std::uint8_t* reporting) = 0;
    virtual bool SetKeyReporting(std::uint32_t keyId, std::uint8_t reporting) = 0;
};

} // namespace devio
