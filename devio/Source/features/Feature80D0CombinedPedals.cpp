#include "features/Feature80D0CombinedPedals.h"

#include "features/FeatureHelpers.h"
#include "features/FeatureRegistry.h"

namespace devio {

bool Feature80D0CombinedPedals::GetCombinedPedals()
{
    std::vector<Byte> r;
    return read_reply(*this, 0, {}, ReplyRule::quiet(1), r) && (r[0] & 1);
}

void Feature80D0CombinedPedals::SetCombinedPedals(std::uint8_t value) { write_request(*this, 1, {value}); }

void Feature80D0CombinedPedals::on_notification(int function, const std::vector<Byte>& payload)
{
    if (function != 0 || payload.empty())
        return;
    const bool combined = payload[0] & 1;
    Producer<Event>::notify([combined](Event* s) { s->onCombinedPedalsChanged(combined); },
                            "IFeature80D0CombinedPedals::Event::onCombinedPedalsChanged");
}

} // namespace devio

DEVIO_REGISTER_FEATURE(Feature80D0CombinedPedals, 0x80D0)
