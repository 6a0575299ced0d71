#include "features/Feature4521DisableKeys.h"

#include "features/FeatureRegistry.h"

namespace devio {

Byte Feature4521DisableKeys::encode_flags(const Record& flags)
{
    Byte value = 0;
    for (std::size_t i = 0; i < 5; ++i)
        if (flags[i])
            value = static_cast<Byte>(value | (1u << (4 - i)));
    return value;
}

Feature4521DisableKeys::Record Feature4521DisableKeys::decode_flags(Byte value)
{
    Record flags{};
    for (std::size_t i = 0; i < 5; ++i)
        flags[i] = (value >> (4 - i)) & 1u;
    return flags;
}

bool Feature4521DisableKeys::read_flags(std::uint32_t function, std::uint32_t kind, bool* out[5])
{
    std::vector<Byte> reply;
    if (!read_reply(*this, function, {0x00}, ReplyRule::strict(2), reply, kind))
        return false;
    const Record flags = decode_flags(reply[0]);
    for (std::size_t i = 0; i < 5; ++i)
        if (out[i])
            *out[i] = flags[i] != 0;
    return true;
}

bool Feature4521DisableKeys::GetCapabilities(bool* first, bool* second, bool* third, bool* fourth, bool* fifth)
{
    bool* out[5] = {first, second, third, fourth, fifth};
    return read_flags(0, 1, out);
}

bool Feature4521DisableKeys::GetDisabledKeys(bool* first, bool* second, bool* third, bool* fourth, bool* fifth)
{
    bool* out[5] = {first, second, third, fourth, fifth};
    return read_flags(1, 0, out);
}

bool Feature4521DisableKeys::send_record(const Record& record)
{
    std::vector<Byte> reply;
    return read_reply(*this, 2, {encode_flags(record)}, ReplyRule::strict(2), reply);
}

bool Feature4521DisableKeys::SetDisabledKeys(bool first, bool second, bool third, bool fourth, bool fifth)
{
    const Record record{Byte(first), Byte(second), Byte(third), Byte(fourth), Byte(fifth)};
    return m_pending.write(*this, record, [this](const Record& r) { return send_record(r); });
}

bool Feature4521DisableKeys::on_reapply()
{
    return m_pending.reapply(*this, [this](const Record& r) { return send_record(r); });
}

void Feature4521DisableKeys::on_unexpected_response(unsigned function, unsigned softwareId,
                                                    const std::vector<Byte>& payload)
{
    if (function != 2 || payload.empty())
        return;
    const Record f = decode_flags(payload[0]);
    Producer<SettingChange>::notify(
        [softwareId, f](SettingChange* s) { s->onSettingChange(softwareId, f[0], f[1], f[2], f[3], f[4]); },
        "Feature4521DisableKeys::SettingChange::onSettingChange");
}

} // namespace devio

DEVIO_REGISTER_FEATURE(Feature4521DisableKeys, 0x4521)
