#include "features/Feature8010Vantor.h"

#include "features/FeatureHelpers.h"
#include "features/FeatureRegistry.h"

namespace devio {

bool Feature8010Vantor::GetButtonCount(std::uint32_t& count) { return shared_ops::get_sensor_count(*this, count); }

bool Feature8010Vantor::GetButtonWord(std::uint32_t& value)
{
    std::vector<Byte> r;
    if (!read_reply(*this, 1, {}, ReplyRule::strict(1), r, 1))
        return false;
    value = read_be16(r, 0);
    return true;
}

bool Feature8010Vantor::SetModeByte(std::uint8_t value) { return shared_ops::set_mode_byte(*this, value); }

void Feature8010Vantor::on_notification(int function, const std::vector<Byte>& payload)
{
    if (function != 0 || payload.size() < 4)
        return;
    Producer<Report>::notify([payload](Report* s) { s->onButtonReport(payload); },
                             "IFeature8010Vantor::Report::onButtonReport");
}

} // namespace devio

DEVIO_REGISTER_FEATURE(Feature8010Vantor, 0x8010)
