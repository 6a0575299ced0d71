#pragma once
#include "features/Feature.h"
#include "features/IFeature0008SwitchAndKeepAlive.h"

namespace devio {

class Feature0008SwitchAndKeepAlive : public Feature, public IFeature0008SwitchAndKeepAlive {
public:
    Feature0008SwitchAndKeepAlive(std::uint8_t featureIndex, std::weak_ptr<IDevice> device);
    static std::shared_ptr<IFeature> create(std::uint8_t featureIndex, std::weak_ptr<IDevice> device);

    bool GetInfo(std::uint16_t* first, std::uint16_t* second) override;
    bool KeepAlive(std::uint16_t value, std::uint16_t* result) override;
    bool Switch() override;
};

} // namespace devio
