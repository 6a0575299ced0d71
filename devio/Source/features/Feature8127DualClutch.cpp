#include "features/Feature8127DualClutch.h"

#include "features/FeatureHelpers.h"
#include "features/FeatureRegistry.h"

namespace devio {

bool Feature8127DualClutch::GetDualClutchInfo(std::uint32_t* value)
{
    std::vector<Byte> r;
    if (!read_reply(*this, 0, {}, ReplyRule::any(), r))
        return false;
    if (value)
        *value = byte_at(r, 0);
    return true;
}

bool Feature8127DualClutch::GetDualClutchValue(std::uint8_t selector, std::uint32_t* value)
{
    std::vector<Byte> r;
    if (!read_reply(*this, 1, {selector}, ReplyRule::fit(0, 4), r))
        return false;
    if (value)
        *value = read_be32(r, 0);
    return true;
}

bool Feature8127DualClutch::GetDualClutchSettings(bool* a, std::uint32_t* b, std::uint32_t* c, bool* d)
{
    std::vector<Byte> r;
    if (!read_reply(*this, 2, {0, 0, 0, 0}, ReplyRule::fit(0, 4), r))
        return false;
    if (a)
        *a = r[0] > 0;
    if (b)
        *b = r[1];
    if (c)
        *c = r[2];
    if (d)
        *d = r[3] > 0;
    return true;
}

bool Feature8127DualClutch::SetDualClutchSettings(std::uint8_t first, std::uint8_t second, std::uint8_t third,
                                                  std::uint8_t fourth)
{
    return write_request(*this, 3, {first, second, third, fourth});
}

void Feature8127DualClutch::on_notification(int function, const std::vector<Byte>& payload)
{
    if (function != 0 || payload.size() < 6)
        return;
    const bool a = payload[0] != 0;
    const int b = payload[1];
    const int c = payload[2];
    const bool d = payload[3] != 0;
    const auto state = static_cast<DualClutchState>(payload[4]);
    const bool e = payload[5] != 0;
    Producer<Report>::notify([=](Report* s) { s->OnSettingsChanged(a, b, c, d, state, e); },
                             "feature8127dualclutch::report::OnSettingsChanged");
}

} // namespace devio

DEVIO_REGISTER_FEATURE(Feature8127DualClutch, 0x8127)
