#include "features/Feature1B04SpecialKeys.h"

#include "features/Feature1B00SpecialKeys.h"
#include "features/FeatureRegistry.h"

namespace devio {

bool Feature1B04SpecialKeys::GetCount(std::uint32_t* count) { return shared_ops::get_count(*this, count, 1); }

bool Feature1B04SpecialKeys::GetKeyInfo(std::uint8_t index, std::uint32_t* keyId, std::uint32_t* secondId,
                                        std::uint8_t* keyFlags, std::uint32_t* byte5, std::uint32_t* byte6,
                                        std::uint8_t* byte7, std::uint8_t* byte8)
{
    std::vector<Byte> r;
    if (!read_reply(*this, 1, {index}, ReplyRule::fit(5, 9), r, 1))
        return false;
    if (keyId)
        *keyId = read_be16(r, 0);
    if (secondId)
        *secondId = read_be16(r, 2);
    if (keyFlags)
        *keyFlags = r[4];
    if (byte5)
        *byte5 = r[5];
    if (byte6)
        *byte6 = r[6];
    if (byte7)
        *byte7 = r[7];
    if (byte8)
        *byte8 = r[8];
    return true;
}

bool Feature1B04SpecialKeys::GetKeyReporting(std::uint32_t keyId, std::uint8_t* reporting, std::uint32_t* targetId,
                                             std::uint8_t* option)
{
    std::vector<Byte> params;
    put_be16(params, keyId);
    std::vector<Byte> r;
    if (!read_reply(*this, 2, params, ReplyRule::fit(3, 6), r))
        return false;
    if (reporting)
        *reporting = r[2];
    if (targetId)
        *targetId = read_be16(r, 3);
    if (option)
        *option = r[5] & 1;
    return true;
}

bool Feature1B04SpecialKeys::send_setting(const Setting& s)
{
    std::vector<Byte> params;
    put_be16(params, s.keyId);
    params.push_back(s.reporting);
    put_be16(params, s.targetId);
    params.push_back(s.option);
    return write_request(*this, 3, params);
}

bool Feature1B04SpecialKeys::SetKeyReporting(std::uint32_t keyId, std::uint8_t reporting, std::uint32_t targetId,
                                             std::uint8_t option)
{
    return m_pending.write(*this, {keyId, reporting, targetId, option},
                           [this](const Setting& s) { return send_setting(s); });
}

bool Feature1B04SpecialKeys::on_reapply()
{
    return m_pending.reapply(*this, [this](const Setting& s) { return send_setting(s); });
}

void Feature1B04SpecialKeys::on_notification(int function, const std::vector<Byte>& payload)
{
    if (payload.size() < 8)
        return;
    if (function == 0) {
        auto keys = Feature1B00SpecialKeys::decode_keys(payload);
        Producer<KeyReport>::notify([keys](KeyReport* s) { s->onKeyChange(keys); },
                                    "Feature1B04SpecialKeys::KeyReport::onKeyChange");
    } else if (function == 1) {
        const int x = sign16(read_be16(payload, 0));
        const int y = sign16(read_be16(payload, 2));
        Producer<RawXYReport>::notify([x, y](RawXYReport* s) { s->onRawXY(x, y); },
                                      "Feature1B04SpecialKeys::RawXYReport::onRawXY");
    } else if (function == 2) {
        // Five entries of three bytes: a payload that cannot hold them all is dropped.
        if (payload.size() < 15)
            return;
        std::vector<std::uint32_t> keys, values;
        for (std::size_t k = 0; k < 5; ++k) {
            keys.push_back(read_be16(payload, 3 * k));
            values.push_back(payload[3 * k + 2]);
        }
        Producer<KeyReport>::notify([keys, values](KeyReport* s) { s->onKeyChange(keys, values); },
                                    "Feature1B04SpecialKeys::KeyReport::onKeyChange");
    }
}

void Feature1B04SpecialKeys::on_unexpected_response(unsigned function, unsigned softwareId,
                                                    const std::vector<Byte>& payload)
{
    if (function != 3 || payload.size() < 5)
        return;
    const std::uint32_t keyId = read_be16(payload, 0);
    const bool bit1 = (payload[2] >> 1) & 1;
    const bool bit0 = payload[2] & 1;
    const std::uint32_t targetId = read_be16(payload, 3);
    Producer<KeyReport>::notify(
        [softwareId, keyId, bit1, bit0, targetId](KeyReport* s) { s->OnKeyDiverted(softwareId, keyId, bit1, bit0, targetId); },
        "Feature1B04SpecialKeys::KeyReport::OnKeyDiverted");
}

} // namespace devio

DEVIO_REGISTER_FEATURE(Feature1B04SpecialKeys, 0x1B04)
