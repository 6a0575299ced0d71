#include "features/Feature1D4BWirelessStatus.h"

#include "features/FeatureRegistry.h"

namespace devio {

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
