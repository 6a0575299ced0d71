#pragma once
#include "features/Feature.h"
#include "features/IFeature0021CryptoIdentifier.h"

namespace devio {

class Feature0021CryptoIdentifier : public FeatureClass<Feature0021CryptoIdentifier, IFeature0021CryptoIdentifier>,
                                     public Producer<IFeature0021CryptoIdentifier::RegenDetect> {
public:
    using FeatureClass::FeatureClass;

    bool GetIdentifier(std::vector<Byte>* identifier) override;
    bool RegenerateIdentifier() override;

protected:
    void on_unexpected_response(unsigned function, unsigned softwareId, const std::vector<Byte>& payload) override;
};

} // namespace devio
