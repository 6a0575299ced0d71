#include "features/Feature1B03SpecialKeys.h"

#include "features/Feature1B00SpecialKeys.h"
#include "features/FeatureRegistry.h"

namespace devio {

bool Feature1B03SpecialKeys::GetCount(std::uint32_t* count) { return shared_ops::get_count(*this, count, 1); }

bool Feature1B03SpecialKeys::GetKeyInfo(std::uint8_t index, std::uint32_t* keyId, std::uint32_t* secondId,
                                        std::uint8_t* keyFlags)
{
    return Feature1B00SpecialKeys::read_key_info(*this, index, keyId, secondId, keyFlags);
}

bool Feature1B03SpecialKeys::GetKeyReporting(std::uint32_t keyId, std::uint8_t* reporting)
{
    std::vector<Byte> params;
    put_be16(params, keyId);
    std::vector<Byte> r;
    if (!read_reply(*this, 4, params, ReplyRule::strict(3), r))
        return false;
    if (reporting)
        *reporting = r[2];
    return true;
}

bool Feature1B03SpecialKeys::send_setting(const Setting& setting)
{
    std::vector<Byte> params;
    put_be16(params, setting.keyId);
    params.push_back(setting.reporting);
    return write_request(*this, 5, params);
}

bool Feature1B03SpecialKeys::SetKeyReporting(std::uint32_t keyId, std::uint8_t reporting)
{
    return m_pending.write(*this, {keyId, reporting}, [this](const Setting& s) { return send_setting(s); });
}

bool Feature1B03SpecialKeys::on_reapply()
{
    return m_pending.reapply(*this, [this](const Setting& s) { return send_setting(s); });
}

void Feature1B03SpecialKeys::on_notification(int /*function*/, const std::vector<Byte>& payload)
{
    if (payload.size() < 8)
        return;
    auto keys = Feature1B00SpecialKeys::decode_keys(payload);
    Producer<KeyReport>::notify([keys](KeyReport* s) { s->onKeyChange(keys); },
                                "Feature1B03SpecialKeys::KeyReport::onKeyChange");
}

void Feature1B03SpecialKeys::on_unexpected_response(unsigned function, unsigned softwareId,
                                                    const std::vector<Byte>& payload)
{
    if (function != 5 || payload.size() < 3)
        return;
    const std::uint32_t keyId = read_be16(payload, 0);
    const bool diverted = payload[2] & 1;
    Producer<KeyReport>::notify([softwareId, keyId, diverted](KeyReport* s) { s->OnKeyDiverted(softwareId, keyId, diverted); },
                                "Feature1B03SpecialKeys::KeyReport::OnKeyDiverted");
}

} // namespace devio

DEVIO_REGISTER_FEATURE(Feature1B03SpecialKeys, 0x1B03)
