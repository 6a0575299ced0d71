#pragma once
#include "features/IFeature.h"

#include <cstdint>
#include <vector>

namespace devio {

// Feature 0x1B04: special keys with a reporting setting of a byte, a target id and an option
// bit, kept for the next configuration change when the device cannot take it (code 5), key
// notifications in two forms and raw XY reports.
class IFeature1B04SpecialKeys : public virtual IFeature {
public:
    static constexpr std::uint32_t FeatureId = 0x1B04;

    class KeyReport {
    public:
        virtual void onKeyChange(std::vector<std::uint32_t> /*keys*/) {}
        virtual void OnKeyDiverted(std::uint32_t /*softwareId*/, std::uint32_t /*keyId*/, bool /*bit1*/,
                                   bool /*bit0*/, std::uint32_t /*targetId*/)
        {
        }
        // Five keys, each with a value byte.
        virtual void onKeyChange(std::vector<std::uint32_t> /*keys*/, std::vector<std::uint32_t> /*values*/) {}
        virtual ~KeyReport() = default;
    };
    class RawXYReport {
    public:
        virtual void onRawXY(int /*x*/, int /*y*/) {}
        virtual ~RawXYReport() = default;
    };

    ~IFeature1B04SpecialKeys() override = default;
    virtual bool GetCount(std::uint32_t* count) = 0;
    virtual bool GetKeyInfo(std::uint8_t index, std::uint32_t* keyId, std::uint32_t* secondId, std::uint8_t* keyFlags,
                            std::uint32_t* byte5, std::uint32_t* byte6, std::uint8_t* byte7, std::uint8_t* byte8) = 0;
    virtual bool GetKeyReporting(std::uint32_t keyId, std::uint8_t* reporting, std::uint32_t* targetId,
                                 std::uint8_t* option) = 0;
    virtual bool SetKeyReporting(std::uint32_t keyId, std::uint8_t reporting, std::uint32_t targetId,
                                 std::uint8_t option) = 0;
};

} // namespace devio
