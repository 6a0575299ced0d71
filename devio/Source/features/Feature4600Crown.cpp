#include "features/Feature4600Crown.h"

#include "features/FeatureHelpers.h"
#include "features/FeatureRegistry.h"

namespace devio {

IFeature4600Crown::CrownCapabilities Feature4600Crown::decode_capabilities(const std::vector<Byte>& record)
{
    const std::vector<Byte>& r = record;
    CrownCapabilities c;
    bool* low[] = {&c.flag1, &c.flag2, &c.flag3, &c.flag4, &c.flag5, &c.flag6};
    for (int bit = 0; bit < 6; ++bit)
        *low[bit] = bit_at(r, 0, static_cast<unsigned>(bit));
    bool* high[] = {&c.flag7, &c.flag8, &c.flag9, &c.flag10};
    for (int bit = 0; bit < 4; ++bit)
        *high[bit] = bit_at(r, 1, static_cast<unsigned>(bit));
    c.firstValue = read_be16(r, 2);
    c.secondValue = read_be16(r, 4);
    return c;
}

IFeature4600Crown::CrownMode Feature4600Crown::decode_mode(const std::vector<Byte>& record)
{
    CrownMode m;
    m.first = byte_at(record, 0);
    m.second = byte_at(record, 1);
    m.third = byte_at(record, 2);
    m.fourth = byte_at(record, 3);
    m.fifth = byte_at(record, 4);
    return m;
}

std::vector<Byte> Feature4600Crown::encode_mode(const CrownMode& m)
{
    return {m.first, m.second, Byte(m.third), Byte(m.fourth), Byte(m.fifth)};
}

IFeature4600Crown::CrownEventData Feature4600Crown::decode_event(const std::vector<Byte>& payload)
{
    const std::vector<Byte>& p = payload;
    CrownEventData e;
    e.first = byte_at(p, 0);
    e.second = sign8(byte_at(p, 1));
    e.third = sign8(byte_at(p, 2));
    for (std::size_t i = 0; i < 4; ++i)
        e.state[i] = byte_at(p, 3 + i);
    e.lastValue = read_be16(p, 14);
    return e;
}

bool Feature4600Crown::GetCapabilities(CrownCapabilities& capabilities)
{
    std::vector<Byte> reply;
    if (!read_reply(*this, 0, {}, ReplyRule::any(), reply, 1))
        return false;
    capabilities = decode_capabilities(reply);
    return true;
}

bool Feature4600Crown::GetMode(CrownMode& mode)
{
    std::vector<Byte> reply;
    if (!read_reply(*this, 1, {}, ReplyRule::any(), reply))
        return false;
    mode = decode_mode(reply);
    return true;
}

bool Feature4600Crown::SetMode(CrownMode& mode)
{
    if (!begin_setting_change())
        return false;
    std::vector<Byte> reply;
    if (!read_reply(*this, 2, encode_mode(mode), ReplyRule::any(), reply))
        return false;
    mode = decode_mode(reply);
    return true;
}

void Feature4600Crown::on_notification(int function, const std::vector<Byte>& payload)
{
    if (function != 0 || payload.size() < 16)
        return;
    const CrownEventData data = decode_event(payload);
    Producer<CrownEvent>::notify([data](CrownEvent* s) { s->onCrownEvent(data); },
                                 "Feature4600Crown::CrownEvent::onCrownEvent");
}

void Feature4600Crown::on_unexpected_response(unsigned function, unsigned softwareId,
                                              const std::vector<Byte>& payload)
{
    if (function != 2 || payload.size() < 5)
        return;
    const CrownMode mode = decode_mode(payload);
    Producer<CrownEvent>::notify([softwareId, mode](CrownEvent* s) { s->onModeChanged(softwareId, mode); },
                                 "Feature4600Crown::CrownEvent::onModeChanged");
}

} // namespace devio

DEVIO_REGISTER_FEATURE(Feature4600Crown, 0x4600)
