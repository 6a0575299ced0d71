#pragma once
#include "features/Feature.h"
#include "features/IFeature80D0CombinedPedals.h"

namespace devio {

class Feature80D0CombinedPedals : public FeatureClass<Feature80D0CombinedPedals, IFeature80D0CombinedPedals>,
                                  public Producer<IFeature80D0CombinedPedals::Event> {
public:
    using FeatureClass::FeatureClass;

    bool GetCombinedPedals() override;
    void SetCombinedPedals(std::uint8_t value) override;

protected:
    void on_notification(int function, const std::vector<Byte>& payload) override;
};

} // namespace devio
