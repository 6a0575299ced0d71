#include "features/Feature8070ColorLEDEffects.h"

#include "features/FeatureRegistry.h"

namespace devio {

namespace {

bool extended(std::uint32_t version) { return version >= 1 && version <= 254; }

} // namespace

bool Feature8070ColorLEDEffects::GetInfo(std::uint32_t& zoneCount, std::uint32_t& infoWord1,
                                         std::uint32_t& infoWord2)
{
    return read_zone_count(*this, 0, {}, 0, zoneCount, infoWord1, infoWord2);
}

bool Feature8070ColorLEDEffects::load_table()
{
    return load_zone_table(m_table, *this, &Feature8070ColorLEDEffects::GetZoneEffectInfo);
}

bool Feature8070ColorLEDEffects::zone_known(std::uint32_t zoneIndex)
{
    return load_table() && zoneIndex < m_table.size();
}

bool Feature8070ColorLEDEffects::GetZoneInfo(std::uint32_t zoneIndex, ZoneInfo& info)
{
    return load_table() && read_zone_info(*this, m_table, 1, {static_cast<Byte>(zoneIndex), 0}, 1, zoneIndex, info);
}

bool Feature8070ColorLEDEffects::GetZoneEffect(std::uint32_t zoneIndex, std::uint32_t& effect,
                                               std::vector<Byte>& parameters, std::uint8_t selector)
{
    if (!zone_known(zoneIndex))
        return false;
    parameters.clear();
    std::vector<Byte> r;
    if (!read_reply(*this, 14, {static_cast<Byte>(zoneIndex), selector}, ReplyRule::strict(1), r))
        return false;
    effect = byte_at(r, 1);
    // At most the 10 bytes at offsets 2-11, and only those the reply holds.
    for (std::size_t k = 2; k < 12 && k < r.size(); ++k)
        parameters.push_back(r[k]);
    return true;
}

bool Feature8070ColorLEDEffects::GetZoneEffectInfo(std::uint8_t zoneIndex, std::uint8_t effectIndex,
                                                   ZoneEffectInfo& info)
{
    return read_effect_info(*this, 2, zoneIndex, effectIndex, info);
}

bool Feature8070ColorLEDEffects::SetZoneEffectByIndex(std::uint8_t zoneIndex, std::uint8_t effectIndex,
                                                      const std::vector<Byte>& parameters, bool noWait)
{
    const auto params = effect_params(zoneIndex, effectIndex, parameters);
    if (noWait)
        return write_and_forget(*this, 3, params, first_byte_merge());
    return write_request(*this, 3, params);
}

bool Feature8070ColorLEDEffects::SetZoneEffect(std::uint32_t zoneId, std::uint32_t effectId,
                                               const std::vector<Byte>& parameters, bool noWait)
{
    std::uint8_t zone = 0, effect = 0;
    // Every zone with the identifier is searched.
    if (!effect_fits(parameters) || !load_table() || !m_table.find(zoneId, effectId, zone, effect, false))
        return false;
    return SetZoneEffectByIndex(zone, effect, parameters, noWait);
}

bool Feature8070ColorLEDEffects::SetEffectOnAllZones(std::uint32_t effectId, const std::vector<Byte>& parameters,
                                                     bool noWait)
{
    if (!effect_fits(parameters) || !load_table())
        return false;
    const auto zones = m_table.zones();
    for (std::size_t i = 0; i < zones.size(); ++i) {
        for (std::size_t j = 0; j < zones[i].effects.size(); ++j) {
            if (zones[i].effects[j].effectId == effectId)
                SetZoneEffectByIndex(static_cast<std::uint8_t>(i), static_cast<std::uint8_t>(j), parameters, noWait);
        }
    }
    return true;
}

std::shared_ptr<IRequest> Feature8070ColorLEDEffects::SetZoneEffectByIndexAsync(std::uint8_t zoneIndex,
                                                                                std::uint8_t effectIndex,
                                                                                const std::vector<Byte>& parameters)
{
    return write_async(*this, 3, effect_params(zoneIndex, effectIndex, parameters), first_byte_merge(),
                       "decoding Feature8070ColorLEDEffects::SetZoneEffectByIndexAsync response");
}

std::shared_ptr<IRequest> Feature8070ColorLEDEffects::SetZoneEffectAsync(std::uint32_t zoneId,
                                                                         std::uint32_t effectId,
                                                                         const std::vector<Byte>& parameters)
{
    std::uint8_t zone = 0, effect = 0;
    // Only the first zone with the identifier is searched.
    if (!effect_fits(parameters) || !load_table() || !m_table.find(zoneId, effectId, zone, effect))
        return nullptr;
    return SetZoneEffectByIndexAsync(zone, effect, parameters);
}

std::uint32_t Feature8070ColorLEDEffects::feature_version() { return m_version.read(*this); }

bool Feature8070ColorLEDEffects::SupportsExtendedFunctions() { return extended(feature_version()); }

bool Feature8070ColorLEDEffects::GetIndexedSetting(std::uint32_t key, std::uint8_t* value1, std::uint8_t* value2,
                                                   std::uint8_t* value3, std::uint8_t* head1, std::uint8_t* head2)
{
    std::vector<Byte> params;
    put_be16(params, key);
    std::vector<Byte> r;
    if (!SupportsExtendedFunctions() || !read_reply(*this, 4, params, ReplyRule::quiet(5), r))
        return false;
    if (head1)
        *head1 = r[0];
    if (head2)
        *head2 = r[1];
    if (value1)
        *value1 = r[2];
    if (value2)
        *value2 = r[3];
    if (value3)
        *value3 = r[4];
    return true;
}

bool Feature8070ColorLEDEffects::SetIndexedSetting(std::uint32_t key, std::uint8_t value1, std::uint8_t value2,
                                                   std::uint8_t value3)
{
    std::vector<Byte> params;
    put_be16(params, key);
    params.insert(params.end(), {value1, value2, value3});
    return SupportsExtendedFunctions() && write_request(*this, 5, params);
}

bool Feature8070ColorLEDEffects::GetFourWords(std::uint8_t first, const std::uint8_t* second, std::uint32_t& word0,
                                              std::uint32_t& word1, std::uint32_t& word2, std::uint32_t& word3)
{
    std::vector<Byte> r;
    if (!SupportsExtendedFunctions() ||
        !read_reply(*this, 6, {first, static_cast<Byte>(second ? *second : 0)}, ReplyRule::any(), r))
        return false;
    word0 = read_be16(r, 2);
    word1 = read_be16(r, 4);
    word2 = read_be16(r, 6);
    word3 = read_be16(r, 8);
    return true;
}

bool Feature8070ColorLEDEffects::GetFlagPair(bool& flag1, bool& flag2)
{
    std::vector<Byte> r;
    if (!SupportsExtendedFunctions() || !read_reply(*this, 7, {}, ReplyRule::any(), r))
        return false;
    flag1 = byte_at(r, 0) != 0;
    flag2 = byte_at(r, 1) != 0;
    return true;
}

bool Feature8070ColorLEDEffects::SetBytePair(std::uint8_t first, std::uint8_t second)
{
    return SupportsExtendedFunctions() && write_request(*this, 8, {first, second});
}

bool Feature8070ColorLEDEffects::zone_request(std::uint32_t zoneIndex, std::uint32_t function,
                                              std::vector<Byte> params, std::vector<Byte>* reply)
{
    if (!SupportsExtendedFunctions() || !zone_known(zoneIndex))
        return false;
    std::vector<Byte> r;
    if (!read_reply(*this, function, params, ReplyRule::any(), r))
        return false;
    if (reply)
        *reply = std::move(r);
    return true;
}

bool Feature8070ColorLEDEffects::GetZoneByteList(std::uint32_t zoneIndex, std::uint32_t& head,
                                                 std::vector<Byte>& list)
{
    std::vector<Byte> r;
    if (!zone_request(zoneIndex, 9, {static_cast<Byte>(zoneIndex), 0}, &r))
        return false;
    head = byte_at(r, 0);
    if (r.size() > 1)
        list.insert(list.end(), r.begin() + 1, r.end());
    return true;
}

bool Feature8070ColorLEDEffects::ZoneCommand(std::uint32_t zoneIndex)
{
    return zone_request(zoneIndex, 10, {static_cast<Byte>(zoneIndex), 0}, nullptr);
}

bool Feature8070ColorLEDEffects::ByteCommand(std::uint8_t value)
{
    return SupportsExtendedFunctions() && write_request(*this, 11, {value, 0});
}

bool Feature8070ColorLEDEffects::GetZoneTriple(std::uint32_t zoneIndex, std::uint32_t& a, std::uint32_t& b,
                                               std::uint32_t& c)
{
    std::vector<Byte> r;
    if (!zone_request(zoneIndex, 12, {static_cast<Byte>(zoneIndex), 0}, &r))
        return false;
    a = byte_at(r, 1);
    b = byte_at(r, 2);
    c = byte_at(r, 3);
    return true;
}

bool Feature8070ColorLEDEffects::SetZoneWord(std::uint32_t zoneIndex, std::uint32_t value)
{
    std::vector<Byte> params{static_cast<Byte>(zoneIndex)};
    put_be16(params, value);
    return zone_request(zoneIndex, 13, params, nullptr);
}

void Feature8070ColorLEDEffects::on_notification(int function, const std::vector<Byte>& payload)
{
    // This runs on the thread that delivers the device's reports: only the kept version counts,
    // and an unread one is asked for without waiting.
    const std::uint32_t version = m_version.stored();
    if (version == OwnVersion::kUnread)
        m_version.read_async(*this);
    if (function != 0 || payload.size() < 4 || !extended(version))
        return;
    Producer<Report>::notify([payload](Report* s) { s->onSyncReport(payload); },
                             "IFeature8070ColorLEDEffects::Report::onSyncReport");
}

} // namespace devio

DEVIO_REGISTER_FEATURE(Feature8070ColorLEDEffects, 0x8070)
