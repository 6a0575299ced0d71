#include "features/Feature8020Mkeys.h"

#include "features/FeatureHelpers.h"
#include "features/FeatureRegistry.h"

namespace devio {

bool Feature8020Mkeys::GetButtonCount(std::uint32_t& count) { return shared_ops::get_sensor_count(*this, count); }

bool Feature8020Mkeys::SetSelectedKey(std::uint32_t selection)
{
    static const Byte kKeyBits[] = {0x00, 0x01, 0x02, 0x04};
    if (selection >= 4)
        return false;
    return write_request(*this, 1, {kKeyBits[selection]});
}

void Feature8020Mkeys::on_notification(int function, const std::vector<Byte>& payload)
{
    if (function != 0 || payload.empty())
        return;
    const Byte state = payload[0];
    Producer<Report>::notify([state](Report* s) { s->onButtonReport(state); },
                             "IFeature8020Mkeys::Report::onButtonReport");
}

} // namespace devio

DEVIO_REGISTER_FEATURE(Feature8020Mkeys, 0x8020)
