#include "features/Feature8320JackDetection.h"

#include "features/FeatureHelpers.h"
#include "features/FeatureRegistry.h"

namespace devio {

bool Feature8320JackDetection::GetJackState(std::uint16_t& a, std::uint16_t& b)
{
    std::vector<Byte> r;
    if (!read_reply(*this, 0, {}, ReplyRule::strict(2), r))
        return false;
    a = r[0];
    b = r[1];
    return true;
}

void Feature8320JackDetection::on_notification(int function, const std::vector<Byte>& payload)
{
    if (function != 0 || payload.size() < 2)
        return;
    const short a = payload[0], b = payload[1];
    Producer<Report>::notify([a, b](Report* s) { s->onJackChange(a, b); },
                             "Feature8320JackDetection::Report::onJackChange");
}

} // namespace devio

DEVIO_REGISTER_FEATURE(Feature8320JackDetection, 0x8320)
