#pragma once
#include "features/IFeature.h"

#include <cstdint>

#include <vector>

namespace devio {

// Feature 0x0021: a regenerable 32-byte identifier.
class IFeature0021CryptoIdentifier : public virtual IFeature {
public:
    static constexpr std::uint32_t FeatureId = 0x0021;

    class RegenDetect {
    public:
        // A regenerate reply that answered no request of this program.
        virtual void onRegenerateIdentifier(unsigned int /*softwareId*/) {}
        virtual ~RegenDetect() = default;
    };

    ~IFeature0021CryptoIdentifier() override = default;
    virtual bool GetIdentifier(std::vector<Byte>* identifier) = 0;
    virtual bool RegenerateIdentifier() = 0;
};

} // namespace devio
