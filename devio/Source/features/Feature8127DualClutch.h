#pragma once
#include "features/Feature.h"
#include "features/IFeature8127DualClutch.h"

namespace devio {

class Feature8127DualClutch : public FeatureClass<Feature8127DualClutch, IFeature8127DualClutch>,
                              public Producer<IFeature8127DualClutch::Report> {
public:
    using FeatureClass::FeatureClass;

    bool GetDualClutchInfo(std::uint32_t* value) override;
    bool GetDualClutchValue(std::uint8_t selector, std::uint32_t* value) override;
    bool GetDualClutchSettings(bool* a, std::uint32_t* b, std::uint32_t* c, bool* d) override;
    bool SetDualClutchSettings(std::uint8_t first, std::uint8_t second, std::uint8_t third,
                               std::uint8_t fourth) override;

protected:
    void on_notification(int function, const std::vector<Byte>& payload) override;
};

} // namespace devio
