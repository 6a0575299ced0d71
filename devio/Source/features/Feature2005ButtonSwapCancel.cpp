#include "features/Feature2005ButtonSwapCancel.h"

#include "features/FeatureRegistry.h"

namespace devio {

bool Feature2005ButtonSwapCancel::GetButtonSwapCancel(bool* enabled)
{
    std::vector<Byte> reply;
    if (!read_reply(*this, 0, {}, ReplyRule::strict(1), reply))
        return false;
    if (enabled)
        *enabled = reply[0] != 0;
    return true;
}

bool Feature2005ButtonSwapCancel::send_value(Byte value)
{
    std::vector<Byte> reply;
    return read_reply(*this, 1, {value}, ReplyRule::strict(1), reply);
}

bool Feature2005ButtonSwapCancel::SetButtonSwapCancel(std::uint8_t value)
{
    return m_pending.write(*this, value, [this](const Byte& v) { return send_value(v); });
}

bool Feature2005ButtonSwapCancel::on_reapply()
{
    return m_pending.reapply(*this, [this](const Byte& v) { return send_value(v); });
}

void Feature2005ButtonSwapCancel::on_unexpected_response(unsigned function, unsigned softwareId,
                                                         const std::vector<Byte>& payload)
{
    if (function != 1 || payload.empty())
        return;
    const bool enabled = payload[0] != 0;
    // Published under 0x1B04's label, as the setting-change reports of that family are.
    Producer<SettingChange>::notify(
        [softwareId, enabled](SettingChange* s) { s->onSettingChange(softwareId, enabled); },
        "Feature1B04SpecialKeys::SettingChange::onSettingChange");
}

} // namespace devio

DEVIO_REGISTER_FEATURE(Feature2005ButtonSwapCancel, 0x2005)
