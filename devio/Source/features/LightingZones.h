#pragma once
// The zone table of the lighting-effect features 0x8070 and 0x8071: the zones a device reports,
// in its order, each with its effects, loaded from the device on first use; and the queries
// both features put on the wire alike, at their own function numbers and reply offsets.
#include "core/Types.h"

#include <cstddef>
#include <cstdint>
#include <functional>
#include <mutex>
#include <vector>

namespace devio {

class IFeature;

struct ZoneEffectInfo {
    std::uint32_t effectId = 0xFFFFFFFF;
    std::uint16_t effectWord1 = 0;
    std::uint16_t effectWord2 = 0;
};

struct ZoneEntry {
    std::uint32_t zoneId = 0;
    std::vector<ZoneEffectInfo> effects;
};

struct ZoneInfo {
    std::uint32_t zoneIndex = 0;
    std::uint32_t zoneId = 0;
    std::uint32_t effectCount = 0;
    std::uint32_t zoneAttribute = 0;
};

// Loaded once and then kept; a failed load leaves it empty, and so does a device with no zones,
// so the next use asks again. One load at a time: the lock is re-entrant because the zone query
// itself asks for the table while the table is being filled.
class ZoneTable {
public:
    struct Source {
        std::function<bool(std::uint32_t& zoneCount)> count;
        std::function<bool(std::uint32_t zone, ZoneInfo& info)> zone;
        std::function<bool(std::uint8_t zone, std::uint8_t effect, ZoneEffectInfo& info)> effect;
    };

    bool load(const Source& source)
    {
        std::lock_guard<std::recursive_mutex> lock(m_mutex);
        if (!m_zones.empty())
            return true;
        std::uint32_t count = 0;
        if (!source.count(count))
            return false;
        for (std::uint32_t i = 0; i < count; ++i) {
            m_zones.push_back(ZoneEntry{0, {}});
            ZoneInfo info;
            if (!source.zone(i, info))
                return fail();
            m_zones.back().zoneId = info.zoneId;
            for (std::uint32_t j = 0; j < info.effectCount; ++j) {
                ZoneEffectInfo effect;
                if (!source.effect(static_cast<std::uint8_t>(i), static_cast<std::uint8_t>(j), effect))
                    return fail();
                m_zones.back().effects.push_back(effect);
            }
        }
        return true;
    }

    // Zones known now (the one being filled included while a load runs on this thread).
    std::size_t size() const
    {
        std::lock_guard<std::recursive_mutex> lock(m_mutex);
        return m_zones.size();
    }
    std::vector<ZoneEntry> zones() const
    {
        std::lock_guard<std::recursive_mutex> lock(m_mutex);
        return m_zones;
    }

    // Table indices of effect `effectId` in the zone `zoneId`. With `firstZoneOnly`, only the first
    // zone with that identifier is searched; otherwise every zone with it, in table order.
    bool find(std::uint32_t zoneId, std::uint32_t effectId, std::uint8_t& zone, std::uint8_t& effect,
              bool firstZoneOnly = true) const
    {
        std::lock_guard<std::recursive_mutex> lock(m_mutex);
        for (std::size_t i = 0; i < m_zones.size(); ++i) {
            if (m_zones[i].zoneId != zoneId)
                continue;
            for (std::size_t j = 0; j < m_zones[i].effects.size(); ++j) {
                if (m_zones[i].effects[j].effectId == effectId) {
                    zone = static_cast<std::uint8_t>(i);
                    effect = static_cast<std::uint8_t>(j);
                    return true;
                }
            }
            if (firstZoneOnly)
                return false;
        }
        return false;
    }

private:
    bool fail()
    {
        m_zones.clear();
        return false;
    }

    mutable std::recursive_mutex m_mutex;
    std::vector<ZoneEntry> m_zones;
};

// Parameters of an effect write: zone and effect index, then the caller's bytes.
std::vector<Byte> effect_params(std::uint8_t zone, std::uint8_t effect, const std::vector<Byte>& parameters);
// The zone and effect bytes and the caller's parameters must fit one long report (code 46).
bool effect_fits(const std::vector<Byte>& parameters);

// Zone count at `at` of the reply, the two information words after it.
bool read_zone_count(IFeature& feature, std::uint32_t function, const std::vector<Byte>& params, std::size_t at,
                     std::uint32_t& zoneCount, std::uint32_t& infoWord1, std::uint32_t& infoWord2);

// One zone of a loaded `table`: the reply echoes the zone in byte 0 (code 56 otherwise), and its
// identifier, effect count and attribute stand from `at`. A zone the table lacks is refused unsent.
bool read_zone_info(IFeature& feature, const ZoneTable& table, std::uint32_t function,
                    const std::vector<Byte>& params, std::size_t at, std::uint32_t zoneIndex, ZoneInfo& info);

// One effect of a zone: its identifier and two words from byte 2 of the reply.
bool read_effect_info(IFeature& feature, std::uint32_t function, std::uint8_t zoneIndex, std::uint8_t effectIndex,
                      ZoneEffectInfo& info);

// The table filled through a feature's own zone-count, zone and effect queries.
template <class F>
bool load_zone_table(ZoneTable& table, F& feature, bool (F::*effect)(std::uint8_t, std::uint8_t, ZoneEffectInfo&))
{
    ZoneTable::Source source;
    source.count = [&feature](std::uint32_t& n) {
        std::uint32_t w1 = 0, w2 = 0;
        return feature.GetInfo(n, w1, w2);
    };
    source.zone = [&feature](std::uint32_t i, ZoneInfo& info) { return feature.GetZoneInfo(i, info); };
    source.effect = [&feature, effect](std::uint8_t i, std::uint8_t j, ZoneEffectInfo& e) {
        return (feature.*effect)(i, j, e);
    };
    return table.load(source);
}

} // namespace devio
