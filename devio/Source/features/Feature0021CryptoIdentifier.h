#pragma once
#include "features/Feature.h"
#include "features/IFeature0021CryptoIdentifier.h"

namespace devio {

class Feature0021CryptoIdentifier : public Feature, public IFeature0021CryptoIdentifier,
                                     public Producer<IFeature0021CryptoIdentifier::RegenDetect> {
public:
    Feature0021CryptoIdentifier(std::uint8_t featureIndex, std::weak_ptr<IDevice> device);
    static std::shared_ptr<IFeature> create(std::uint8_t featureIndex, std::weak_ptr<IDevice> device);

    bool GetIdentifier(std::vector<Byte>* identifier) override;
    bool RegenerateIdentifier() override;

protected:
    void on_unexpected_response(unsigned function, unsigned softwareId, const std::vector<Byte>& payload) override;
};

} // namespace devio
