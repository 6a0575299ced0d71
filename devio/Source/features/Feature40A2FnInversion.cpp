#include "features/Feature40A2FnInversion.h"

#include "features/FeatureRegistry.h"

namespace devio {

bool Feature40A2FnInversion::GetFnInversion(bool* inverted, bool* second)
{
    std::vector<Byte> reply;
    if (!read_reply(*this, 0, {0x00}, ReplyRule::strict(2), reply))
        return false;
    if (inverted)
        *inverted = reply[0] != 0;
    if (second)
        *second = reply[1] != 0;
    return true;
}

bool Feature40A2FnInversion::send_value(Byte value)
{
    std::vector<Byte> reply;
    return read_reply(*this, 1, {value}, ReplyRule::strict(2), reply);
}

bool Feature40A2FnInversion::SetFnInversion(bool inverted)
{
    return m_pending.write(*this, Byte(inverted ? 1 : 0), [this](const Byte& v) { return send_value(v); });
}

bool Feature40A2FnInversion::on_reapply()
{
    return m_pending.reapply(*this, [this](const Byte& v) { return send_value(v); });
}

void Feature40A2FnInversion::on_unexpected_response(unsigned function, unsigned softwareId,
                                                    const std::vector<Byte>& payload)
{
    if (function != 1 || payload.empty())
        return;
    const bool inverted = payload[0] != 0;
    Producer<SettingChange>::notify(
        [softwareId, inverted](SettingChange* s) { s->onSettingChange(softwareId, inverted); },
        "Feature40A2FnInversion::SettingChange::onSettingChange");
}

} // namespace devio

DEVIO_REGISTER_FEATURE(Feature40A2FnInversion, 0x40A2)
