#pragma once
#include "features/Feature.h"
#include "features/IFeature00c1DFUControl.h"

namespace devio {

class Feature00c1DFUControl : public Feature, public IFeature00c1DFUControl,
                              public Producer<IFeature00c1DFUControl::ConfigReport> {
public:
    Feature00c1DFUControl(std::uint8_t featureIndex, std::weak_ptr<IDevice> device);
    static std::shared_ptr<IFeature> create(std::uint8_t featureIndex, std::weak_ptr<IDevice> device);

    bool GetDfuControl(std::uint32_t* state) override;
    bool SetDfuControl(std::uint8_t p0, std::uint8_t p1, std::uint8_t p2, std::uint8_t p3) override;
};

} // namespace devio
