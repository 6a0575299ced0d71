#pragma once
// Answer rows of the simulated device for the lighting features: a zone list becomes the zone
// and effect replies of 0x8070 or 0x8071, a key set the set size and pages of 0x8080.
#include "devices/SimAnswerTable.h"

#include <cstdint>
#include <map>
#include <vector>

namespace devio::test {

struct SimZone {
    std::uint16_t id = 0;
    std::vector<std::uint16_t> effects;
};

inline std::uint8_t hi(std::uint32_t v) { return static_cast<std::uint8_t>(v >> 8); }
inline std::uint8_t lo(std::uint32_t v) { return static_cast<std::uint8_t>(v); }

// 0x8070: function 0 the count, 1 each zone (by zone index), 2 each effect (by zone and effect).
inline std::vector<platform::sim::SimAnswer> zone_rows_8070(const std::vector<SimZone>& zones)
{
    using platform::sim::Bytes;
    using platform::sim::SimAnswer;
    std::map<Bytes, Bytes> zoneRows, effectRows;
    for (std::size_t i = 0; i < zones.size(); ++i) {
        const auto z = static_cast<std::uint8_t>(i);
        zoneRows[{z}] = {z, hi(zones[i].id), lo(zones[i].id), static_cast<std::uint8_t>(zones[i].effects.size()), 0};
        for (std::size_t j = 0; j < zones[i].effects.size(); ++j) {
            const auto e = static_cast<std::uint8_t>(j);
            effectRows[{z, e}] = {z, e, hi(zones[i].effects[j]), lo(zones[i].effects[j]), 0, 0, 0, 0};
        }
    }
    return {SimAnswer::fixed(0x8070, 0, {static_cast<std::uint8_t>(zones.size()), 0, 0, 0, 0}),
            SimAnswer::by_prefix(0x8070, 1, zoneRows), SimAnswer::by_prefix(0x8070, 2, effectRows)};
}

// 0x8071: everything on function 0, told apart by the addressing bytes; `pages` adds the pages
// of GetEffectDetails for selectors (s0, s1) (a missing page answers an error).
inline platform::sim::SimAnswer zone_rows_8071(const std::vector<SimZone>& zones,
                                               const std::map<std::uint8_t, platform::sim::Bytes>& pages = {},
                                               std::uint8_t s0 = 0, std::uint8_t s1 = 0)
{
    using platform::sim::Bytes;
    std::map<Bytes, Bytes> rows;
    rows[{0xFF, 0xFF}] = {0xFF, 0xFF, static_cast<std::uint8_t>(zones.size()), 0, 0, 0, 0};
    for (std::size_t i = 0; i < zones.size(); ++i) {
        const auto z = static_cast<std::uint8_t>(i);
        rows[{z, 0xFF}] = {z, 0xFF, hi(zones[i].id), lo(zones[i].id), static_cast<std::uint8_t>(zones[i].effects.size()), 0};
        for (std::size_t j = 0; j < zones[i].effects.size(); ++j) {
            const auto e = static_cast<std::uint8_t>(j);
            rows[{z, e}] = {z, e, hi(zones[i].effects[j]), lo(zones[i].effects[j]), 0, 0, 0, 0};
        }
    }
    for (const auto& [k, page] : pages)
        rows[{0xFF, s0, 0x01, s1, k}] = page;
    return platform::sim::SimAnswer::by_prefix(0x8071, 0, rows);
}

// 0x8080: the size of set `selector` and its pages of at most 14 four-byte records.
inline std::vector<platform::sim::SimAnswer> key_set_rows(std::uint16_t selector,
                                                          const std::vector<platform::sim::Bytes>& keys)
{
    using platform::sim::Bytes;
    using platform::sim::SimAnswer;
    std::map<Bytes, Bytes> pages;
    for (std::size_t first = 0; first < keys.size(); first += 14) {
        Bytes page{0, 0, 0, 0};
        for (std::size_t k = first; k < keys.size() && k < first + 14; ++k)
            page.insert(page.end(), keys[k].begin(), keys[k].end());
        pages[{hi(selector), lo(selector), hi(static_cast<std::uint32_t>(first)), lo(static_cast<std::uint32_t>(first))}] =
            page;
    }
    return {SimAnswer::by_prefix(0x8080, 1, {{{hi(selector), lo(selector)},
                                             {hi(static_cast<std::uint32_t>(keys.size())),
                                              lo(static_cast<std::uint32_t>(keys.size())), 0, 0, 0}}}),
            SimAnswer::by_prefix(0x8080, 2, pages)};
}

// Keys 1..n, each with colour (k, k + 1, k + 2).
inline std::vector<platform::sim::Bytes> numbered_keys(std::size_t n)
{
    std::vector<platform::sim::Bytes> keys;
    for (std::size_t k = 1; k <= n; ++k)
        keys.push_back({static_cast<std::uint8_t>(k), static_cast<std::uint8_t>(k), static_cast<std::uint8_t>(k + 1),
                        static_cast<std::uint8_t>(k + 2)});
    return keys;
}

} // namespace devio::test
