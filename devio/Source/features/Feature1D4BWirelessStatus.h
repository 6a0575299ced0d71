#pragma once
#include "features/Feature.h"
#include "features/IFeature1D4BWirelessStatus.h"

namespace devio {

class Feature1D4BWirelessStatus : public Feature,
                                  public IFeature1D4BWirelessStatus,
                                  public Producer<IFeature1D4BWirelessStatus::Report> {
public:
    Feature1D4BWirelessStatus(std::uint8_t featureIndex, std::weak_ptr<IDevice> device);
    static std::shared_ptr<IFeature> create(std::uint8_t featureIndex, std::weak_ptr<IDevice> device);

protected:
    void on_notification(int function, const std::vector<Byte>& payload) override;
};

} // namespace devio
