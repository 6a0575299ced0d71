#include "features/LightingZones.h"

#include "features/FeatureHelpers.h"

namespace devio {

std::vector<Byte> effect_params(std::uint8_t zone, std::uint8_t effect, const std::vector<Byte>& parameters)
{
    std::vector<Byte> params;
    params.reserve(2 + parameters.size());
    params.push_back(zone);
    params.push_back(effect);
    params.insert(params.end(), parameters.begin(), parameters.end());
    return params;
}

bool effect_fits(const std::vector<Byte>& parameters) { return params_fit(effect_params(0, 0, parameters)); }

bool read_zone_count(IFeature& feature, std::uint32_t function, const std::vector<Byte>& params, std::size_t at,
                     std::uint32_t& zoneCount, std::uint32_t& infoWord1, std::uint32_t& infoWord2)
{
    zoneCount = 0;
    std::vector<Byte> r;
    if (!read_reply(feature, function, params, ReplyRule::strict(1), r))
        return false;
    zoneCount = byte_at(r, at);
    infoWord1 = read_be16(r, at + 1);
    infoWord2 = read_be16(r, at + 3);
    return true;
}

bool read_zone_info(IFeature& feature, const ZoneTable& table, std::uint32_t function,
                    const std::vector<Byte>& params, std::size_t at, std::uint32_t zoneIndex, ZoneInfo& info)
{
    info.zoneIndex = zoneIndex;
    info.zoneId = 0;
    info.effectCount = 0;
    if (zoneIndex >= table.size())
        return false;
    std::vector<Byte> r;
    if (!read_reply(feature, function, params, ReplyRule::strict(at + 4), r))
        return false;
    if (r[0] != static_cast<Byte>(zoneIndex)) {
        set_last_error(56, 0, nullptr);
        return false;
    }
    info.zoneId = read_be16(r, at);
    info.effectCount = r[at + 2];
    info.zoneAttribute = r[at + 3];
    return true;
}

bool read_effect_info(IFeature& feature, std::uint32_t function, std::uint8_t zoneIndex, std::uint8_t effectIndex,
                      ZoneEffectInfo& info)
{
    info.effectId = 0xFFFFFFFF;
    std::vector<Byte> r;
    if (!read_reply(feature, function, {zoneIndex, effectIndex, 0, 0}, ReplyRule::strict(4), r))
        return false;
    info.effectId = read_be16(r, 2);
    info.effectWord1 = read_be16(r, 4);
    info.effectWord2 = read_be16(r, 6);
    return true;
}

} // namespace devio
