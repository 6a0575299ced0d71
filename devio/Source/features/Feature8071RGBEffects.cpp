#include "features/Feature8071RGBEffects.h"

#include "features/FeatureRegistry.h"

namespace devio {

namespace {

bool read_any(IFeature& f, std::uint32_t function, const std::vector<Byte>& params, std::vector<Byte>& r)
{
    return read_reply(f, function, params, ReplyRule::any(), r);
}

} // namespace

bool Feature8071RGBEffects::GetInfo(std::uint32_t& zoneCount, std::uint32_t& infoWord1, std::uint32_t& infoWord2)
{
    return read_zone_count(*this, 0, {0xFF, 0xFF, 0x00}, 2, zoneCount, infoWord1, infoWord2);
}

bool Feature8071RGBEffects::load_table()
{
    return load_zone_table(m_table, *this, &Feature8071RGBEffects::GetEffectInfo);
}

bool Feature8071RGBEffects::GetZoneInfo(std::uint32_t zoneIndex, ZoneInfo& info)
{
    return load_table() &&
           read_zone_info(*this, m_table, 0, {static_cast<Byte>(zoneIndex), 0xFF, 0x00}, 2, zoneIndex, info);
}

bool Feature8071RGBEffects::GetEffectInfo(std::uint8_t zoneIndex, std::uint8_t effectIndex, ZoneEffectInfo& info)
{
    return read_effect_info(*this, 0, zoneIndex, effectIndex, info);
}

bool Feature8071RGBEffects::GetEffectDetails(EffectDetails& details)
{
    std::vector<std::vector<Byte>> pages;
    for (Byte k = 0; k < 7; ++k) {
        std::vector<Byte> r;
        if (!read_reply(*this, 0, {0xFF, details.bytes[0], 0x01, details.bytes[1], k}, ReplyRule::strict(4), r))
            return false;
        pages.push_back(std::move(r));
    }
    auto& d = details.bytes;
    auto copy = [&](std::size_t to, std::size_t page, std::size_t from, std::size_t n) {
        for (std::size_t k = 0; k < n; ++k)
            d[to + k] = byte_at(pages[page], from + k);
    };
    copy(2, 0, 5, 1);
    copy(4, 0, 6, 4);
    copy(8, 1, 5, 7);
    copy(15, 2, 5, 11);
    copy(26, 3, 5, 5);
    copy(31, 4, 5, 11);
    copy(42, 5, 5, 11);
    copy(53, 6, 5, 11);
    return true;
}

bool Feature8071RGBEffects::SetEffectByIndex(std::uint8_t zoneIndex, std::uint8_t effectIndex,
                                             const std::vector<Byte>& parameters)
{
    return write_request(*this, 1, effect_params(zoneIndex, effectIndex, parameters));
}

std::shared_ptr<IRequest> Feature8071RGBEffects::SetEffectByIndex_Async(std::uint8_t zoneIndex,
                                                                        std::uint8_t effectIndex,
                                                                        const std::vector<Byte>& parameters)
{
    return write_async(*this, 1, effect_params(zoneIndex, effectIndex, parameters), first_byte_merge(),
                       "decoding Feature8071RGBEffects::SetEffectByIndex_Async response");
}

bool Feature8071RGBEffects::find(std::uint32_t zoneId, std::uint32_t effectId, std::uint8_t& zone,
                                 std::uint8_t& effect)
{
    return load_table() && m_table.find(zoneId, effectId, zone, effect);
}

bool Feature8071RGBEffects::SetEffect(std::uint32_t zoneId, std::uint32_t effectId,
                                      const std::vector<Byte>& parameters)
{
    std::uint8_t zone = 0, effect = 0;
    if (!effect_fits(parameters) || !find(zoneId, effectId, zone, effect))
        return false;
    return SetEffectByIndex(zone, effect, parameters);
}

std::shared_ptr<IRequest> Feature8071RGBEffects::SetEffectAsync(std::uint32_t zoneId, std::uint32_t effectId,
                                                                const std::vector<Byte>& parameters)
{
    std::uint8_t zone = 0, effect = 0;
    if (!effect_fits(parameters) || !find(zoneId, effectId, zone, effect))
        return nullptr;
    return SetEffectByIndex_Async(zone, effect, parameters);
}

bool Feature8071RGBEffects::GetIndexedSetting(std::uint32_t key, std::uint8_t* value1, std::uint8_t* value2,
                                              std::uint8_t* value3)
{
    std::vector<Byte> params{0x00};
    put_be16(params, key);
    std::vector<Byte> r;
    if (!read_reply(*this, 3, params, ReplyRule::quiet(6), r))
        return false;
    if (value1)
        *value1 = r[3];
    if (value2)
        *value2 = r[4];
    if (value3)
        *value3 = r[5];
    return true;
}

bool Feature8071RGBEffects::SetIndexedSetting(std::uint32_t key, std::uint8_t value1, std::uint8_t value2,
                                              std::uint8_t value3)
{
    std::vector<Byte> params{0x01};
    put_be16(params, key);
    params.insert(params.end(), {value1, value2, value3});
    return write_request(*this, 3, params);
}

bool Feature8071RGBEffects::GetSettingPair(std::uint32_t& a, std::uint32_t& b)
{
    std::vector<Byte> r;
    if (!read_any(*this, 5, {0x00, 0x00, 0x00}, r))
        return false;
    a = byte_at(r, 1);
    b = byte_at(r, 2);
    return true;
}

bool Feature8071RGBEffects::SetSettingPair(std::uint8_t a, std::uint8_t b)
{
    return write_request(*this, 5, {0x01, a, b});
}

bool Feature8071RGBEffects::GetFourWords(std::uint8_t first, const std::uint8_t* second, std::uint32_t& word0,
                                         std::uint32_t& word1, std::uint32_t& word2, std::uint32_t& word3)
{
    std::vector<Byte> r;
    if (!read_any(*this, 4, {0x00, first, static_cast<Byte>(second ? *second : 0)}, r))
        return false;
    word0 = read_be16(r, 3);
    word1 = read_be16(r, 5);
    word2 = read_be16(r, 7);
    word3 = read_be16(r, 9);
    return true;
}

bool Feature8071RGBEffects::SetBytePair(std::uint8_t a, std::uint8_t b) { return write_request(*this, 2, {a, b}); }

bool Feature8071RGBEffects::GetWordTriple(std::uint32_t& value, WordPair& pair)
{
    std::vector<Byte> r;
    if (!read_any(*this, 7, std::vector<Byte>(6, 0x00), r))
        return false;
    value = read_be16(r, 1);
    pair.first = read_be16(r, 3);
    pair.second = read_be16(r, 5);
    return true;
}

bool Feature8071RGBEffects::SetWordTriple(std::uint16_t value, WordPair pair)
{
    std::vector<Byte> params{0x01};
    put_be16(params, value);
    put_be16(params, pair.first);
    put_be16(params, pair.second);
    return write_request(*this, 7, params);
}

bool Feature8071RGBEffects::GetByteSetting(std::uint32_t& value)
{
    std::vector<Byte> r;
    if (!read_any(*this, 8, {0x00}, r))
        return false;
    value = byte_at(r, 1);
    return true;
}

bool Feature8071RGBEffects::SetByteSetting(std::uint8_t value) { return write_request(*this, 8, {0x01, value}); }

bool Feature8071RGBEffects::SetZoneWord(std::uint32_t zoneIndex, std::uint32_t value)
{
    if (!load_table() || zoneIndex >= m_table.size())
        return false;
    std::vector<Byte> params{static_cast<Byte>(zoneIndex), 0x00};
    put_be16(params, value);
    return write_request(*this, 6, params);
}

std::uint32_t Feature8071RGBEffects::feature_version() { return m_version.read(*this); }

void Feature8071RGBEffects::on_notification(int function, const std::vector<Byte>& payload)
{
    if (payload.size() < 4)
        return;
    if (function == 0)
        Producer<Report>::notify([payload](Report* s) { s->onSyncReport(payload); },
                                 "IFeature8071RGBEffects::Report::onSyncReport");
    else if (function == 1)
        Producer<Report>::notify([payload](Report* s) { s->onUserActivity(payload); },
                                 "IFeature8071RGBEffects::Report::onUserActivity");
}

} // namespace devio

DEVIO_REGISTER_FEATURE(Feature8071RGBEffects, 0x8071)
