#include "features/Feature1D4BWirelessStatus.h"

#include "features/FeatureRegistry.h"

namespace devio {

Feature1D4BWirelessStatus::Feature1D4BWirelessStatus(std::uint8_t featureIndex, std::weak_ptr<IDevice> device)
    : Feature(FeatureId, featureIndex, std::move(device))
{
}

std::shared_ptr<IFeature> Feature1D4BWirelessStatus::create(std::uint8_t featureIndex, std::weak_ptr<IDevice> device)
{
    return std::make_shared<Feature1D4BWirelessStatus>(featureIndex, std::move(device));
}

void Feature1D4BWirelessStatus::on_notification(int /*function*/, const std::vector<Byte>& payload)
{
    // Every notification of this feature is a status report, whatever its number.
    if (payload.size() < 3) {
        set_last_error(2, 0, nullptr);
        return;
    }
    const bool a = payload[0] == 0x01;
    const bool b = payload[1] == 0x01;
    const bool c = payload[2] == 0x01;
    Producer<Report>::notify([a, b, c](Report* s) { s->onWirelessStatusEvent(a, b, c); },
                             "Feature1D4BWirelessStatus::Report::onWirelessStatusEvent");
}

} // namespace devio

DEVIO_REGISTER_FEATURE(Feature1D4BWirelessStatus, 0x1D4B)
