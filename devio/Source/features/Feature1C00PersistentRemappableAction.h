#pragma once
#include "features/Feature.h"
#include "features/IFeature1C00PersistentRemappableAction.h"

namespace devio {

class Feature1C00PersistentRemappableAction
    : public FeatureClass<Feature1C00PersistentRemappableAction, IFeature1C00PersistentRemappableAction> {
public:
    using FeatureClass::FeatureClass;

    bool GetValue(std::uint32_t& value) override;
    bool GetBytePair(std::uint32_t& first, std::uint32_t& second) override;
    bool GetValueFor(std::uint8_t a, std::uint8_t b, std::uint32_t& value) override;
    bool GetActions(std::uint32_t keyId, std::uint8_t b, ActionPair& actions) override;
    bool SetAction(std::uint32_t keyId, std::uint8_t b, std::uint8_t c, std::uint32_t id, std::uint8_t d) override;
    bool CallFunction5(std::uint32_t keyId, std::uint8_t b) override;
    bool CallFunction6(std::uint8_t a) override;

private:
    // A failed request becomes code 1; a reply under `minimum` bytes code 2.
    bool request(std::uint32_t function, const std::vector<Byte>& params, std::size_t minimum,
                 std::vector<Byte>& reply);
};

} // namespace devio
