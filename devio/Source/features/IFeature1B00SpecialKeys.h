#pragma once
#include "features/IFeature.h"

#include <cstdint>
#include <vector>

namespace devio {

// Feature 0x1B00: the keys with special functions and which of them are held down.
class IFeature1B00SpecialKeys : public virtual IFeature {
public:
    static constexpr std::uint32_t FeatureId = 0x1B00;

    class KeyReport {
    public:
        // Four key ids, zeros kept.
        virtual void onKeyChange(std::vector<std::uint32_t> /*keys*/) {}
        virtual ~KeyReport() = default;
    };

    ~IFeature1B00SpecialKeys() override = default;
    virtual bool GetCount(std::uint32_t* count) = 0;
    virtual bool GetKeyInfo(std::uint8_t index, std::uint32_t* keyId, std::uint32_t* secondId,
                            std::uint8_t* keyFlags) = 0;
};

} // namespace devio
