#pragma once
#include "features/Feature.h"
#include "features/IFeature1B00SpecialKeys.h"

namespace devio {

class Feature1B00SpecialKeys : public FeatureClass<Feature1B00SpecialKeys, IFeature1B00SpecialKeys>,
                               public Producer<IFeature1B00SpecialKeys::KeyReport> {
public:
    using FeatureClass::FeatureClass;

    bool GetCount(std::uint32_t* count) override;
    bool GetKeyInfo(std::uint8_t index, std::uint32_t* keyId, std::uint32_t* secondId,
                    std::uint8_t* keyFlags) override;

    // Shared with 0x1B03: function 1 with kind 1, the first five reply bytes.
    static bool read_key_info(IFeature& feature, std::uint8_t index, std::uint32_t* keyId, std::uint32_t* secondId,
                              std::uint8_t* keyFlags);
    // The four big-endian key ids of a key notification (payload of at least 8 bytes).
    static std::vector<std::uint32_t> decode_keys(const std::vector<Byte>& payload);

protected:
    void on_notification(int function, const std::vector<Byte>& payload) override;
};

} // namespace devio
