#pragma once
#include "features/Feature.h"
#include "features/IFeature8080PerKeyLighting.h"

namespace devio {

class Feature8080PerKeyLighting : public FeatureClass<Feature8080PerKeyLighting, IFeature8080PerKeyLighting> {
public:
    using FeatureClass::FeatureClass;

    bool GetInfo(PerKeyLightingInfo& info) override;
    bool GetKeySetInfo(std::uint16_t selector, KeySetInfo& info) override;
    bool GetKeys(std::uint16_t selector, std::uint8_t option, std::vector<KeyRecord>& keys) override;
    bool GetKeys(std::uint16_t selector, std::vector<KeyRecord>& keys) override;
    bool SetKeyColors(std::uint16_t selector, std::vector<KeyRecord> records) override;
    bool SetAllKeysToColor(std::uint16_t selector, Byte red, Byte green, Byte blue) override;
    bool Flush(std::uint8_t persistence) override;
    bool Flush() override;
    std::shared_ptr<IRequest> SetKeyColorsAsync(std::uint16_t selector, std::vector<KeyRecord> records) override;
    std::shared_ptr<IRequest> SetAllKeysToColorAsync(std::uint16_t selector, Byte red, Byte green,
                                                     Byte blue) override;
    std::shared_ptr<IRequest> FlushAsync(std::uint8_t persistence) override;
    std::shared_ptr<IRequest> FlushAsync() override;

private:
    // The records a write of `selector` sends (the filtered product keeps keys 1 and 2 of set 64),
    // cut into the parameters of one request per batch, in order.
    std::vector<std::vector<Byte>> batches(std::uint16_t selector, const std::vector<KeyRecord>& records);
};

} // namespace devio
