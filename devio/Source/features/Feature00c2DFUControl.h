#pragma once
#include "features/Feature.h"
#include "features/IFeature00c2DFUControl.h"

namespace devio {

class Feature00c2DFUControl : public Feature, public IFeature00c2DFUControl,
                              public Producer<IFeature00c2DFUControl::ConfigReport> {
public:
    Feature00c2DFUControl(std::uint8_t featureIndex, std::weak_ptr<IDevice> device);
    static std::shared_ptr<IFeature> create(std::uint8_t featureIndex, std::weak_ptr<IDevice> device);

    bool GetDfuControl(std::uint8_t* state) override;
    bool SetDfuControl(std::uint8_t p0, std::uint8_t p1) override;
};

} // namespace devio
