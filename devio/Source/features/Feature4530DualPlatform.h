#pragma once
#include "features/Feature.h"
#include "features/IFeature4530DualPlatform.h"

namespace devio {

class Feature4530DualPlatform : public FeatureClass<Feature4530DualPlatform, IFeature4530DualPlatform>,
                                public Producer<IFeature4530DualPlatform::Report> {
public:
    using FeatureClass::FeatureClass;

    bool GetPlatform(std::uint16_t* platform) override;
    bool SetPlatform(std::uint8_t platform) override;

protected:
    void on_notification(int function, const std::vector<Byte>& payload) override;
};

} // namespace devio
