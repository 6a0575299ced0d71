#include "features/Feature8030MR.h"

#include "features/FeatureHelpers.h"
#include "features/FeatureRegistry.h"

namespace devio {

bool Feature8030MR::SetMRState(std::uint8_t value) { return write_request(*this, 0, {value}); }

void Feature8030MR::on_notification(int function, const std::vector<Byte>& payload)
{
    if (function != 0 || payload.empty())
        return;
    const bool pressed = payload[0] & 1;
    Producer<Report>::notify([pressed](Report* s) { s->onButtonReport(pressed); },
                             "IFeature8030MR::Report::onButtonReport");
}

} // namespace devio

DEVIO_REGISTER_FEATURE(Feature8030MR, 0x8030)
