#pragma once
// The zone table of the lighting-effect features 0x8070 and 0x8071: the zones a device reports,
// in its order, each with its effects, loaded from the device on first use.
#include <cstdint>
#include <functional>
#include <mutex>
#include <vector>

namespace devio {

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

} // namespace devio
