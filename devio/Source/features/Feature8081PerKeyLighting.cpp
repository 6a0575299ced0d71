#include "features/Feature8081PerKeyLighting.h"

#include "features/FeatureHelpers.h"
#include "features/FeatureRegistry.h"

#include <optional>

namespace devio {

namespace {

using Zones = std::vector<IFeature8081PerKeyLighting::RgbZone>;
using Run = IFeature8081PerKeyLighting::ConsecutiveRgbZones;
using Ranges = std::vector<IFeature8081PerKeyLighting::RgbRange>;
using Single = IFeature8081PerKeyLighting::RgbZonesSingleValue;
using Params = std::optional<std::vector<Byte>>;

// The 16-byte blocks; empty (code 46) when the entries do not fit.
Params too_many()
{
    set_last_error(46, 0, nullptr);
    return std::nullopt;
}

Params zones_block(const Zones& zones)
{
    if (zones.size() > IFeature8081PerKeyLighting::kMaxZones)
        return too_many();
    std::vector<Byte> b(16, 0);
    for (std::size_t i = 0; i < zones.size(); ++i) {
        b[4 * i] = zones[i].zoneId;
        b[4 * i + 1] = zones[i].red;
        b[4 * i + 2] = zones[i].green;
        b[4 * i + 3] = zones[i].blue;
    }
    return b;
}

Params run_block(const Run& run)
{
    if (run.triples.size() > IFeature8081PerKeyLighting::kMaxTriples)
        return too_many();
    std::vector<Byte> b(16, 0);
    b[0] = run.startZoneId;
    for (std::size_t i = 0; i < run.triples.size(); ++i) {
        b[1 + 3 * i] = run.triples[i].red;
        b[2 + 3 * i] = run.triples[i].green;
        b[3 + 3 * i] = run.triples[i].blue;
    }
    return b;
}

Params raw_block(const IFeature8081PerKeyLighting::Block& block)
{
    return std::vector<Byte>(block.begin(), block.end());
}

Params ranges_block(const Ranges& ranges)
{
    if (ranges.size() > IFeature8081PerKeyLighting::kMaxRanges)
        return too_many();
    std::vector<Byte> b(16, 0);
    for (std::size_t i = 0; i < ranges.size(); ++i)
        std::copy(ranges[i].bytes.begin(), ranges[i].bytes.end(), b.begin() + 5 * i);
    return b;
}

Params single_block(const Single& value)
{
    if (value.zoneIds.size() > IFeature8081PerKeyLighting::kMaxZoneIds)
        return too_many();
    std::vector<Byte> b(16, 0);
    b[0] = value.red;
    b[1] = value.green;
    b[2] = value.blue;
    std::copy(value.zoneIds.begin(), value.zoneIds.end(), b.begin() + 3);
    return b;
}

std::vector<Byte> frame_end_params(std::uint8_t a, std::uint16_t b, std::uint16_t c)
{
    std::vector<Byte> p{a};
    put_be16(p, b);
    put_be16(p, c);
    return p;
}

bool fail_with(ErrorCode code)
{
    set_last_error(code, 0, nullptr);
    return false;
}

// Run commands: one test, a 16-byte reply echoing the start zone id.
auto run_echo(Byte start)
{
    return [start](const std::vector<Byte>& r) { return r.size() >= 16 && r[0] == start ? true : fail_with(78); };
}

auto zones_echo(const Zones& zones)
{
    const std::size_t n = zones.size();
    const Byte first = n ? zones[0].zoneId : 0;
    return [n, first](const std::vector<Byte>& r) {
        if (r.size() < 4 * n)
            return fail_with(2);
        return n == 0 || first == 0xFF || r[0] == first ? true : fail_with(78);
    };
}

auto ranges_echo(const Ranges& ranges)
{
    const std::size_t n = ranges.size();
    const Byte first = n ? ranges[0].bytes[0] : 0;
    return [n, first](const std::vector<Byte>& r) {
        if (r.size() < 5 * n)
            return fail_with(2);
        return n == 0 || first == 0xFF || r[0] == first ? true : fail_with(78);
    };
}

auto single_echo(const Single& value)
{
    const std::size_t n = value.zoneIds.size();
    const Byte first = n ? value.zoneIds[0] : 0;
    return [n, first](const std::vector<Byte>& r) {
        if (r.size() < 3 + n)
            return fail_with(2);
        // No zone to compare: the exchange alone decides.
        return n == 0 || r[3] == first ? true : fail_with(78);
    };
}

std::shared_ptr<IRequest> queue(IFeature& f, std::uint32_t function, const Params& params, const char* label)
{
    if (!params)
        return nullptr;
    return write_async(f, function, *params, nullptr, label);
}

} // namespace

template <class Check>
bool Feature8081PerKeyLighting::write_checked(std::uint32_t function, const std::vector<Byte>& params, Check echo_ok)
{
    std::vector<Byte> r;
    return read_reply(*this, function, params, ReplyRule::any(), r) && echo_ok(r);
}

bool Feature8081PerKeyLighting::build(std::vector<Byte>& report, std::uint32_t function,
                                      const std::vector<Byte>& params)
{
    std::vector<Byte> framed;
    if (!build_command(function, params, framed))
        return false;
    report = std::move(framed);
    return true;
}

bool Feature8081PerKeyLighting::GetInfo(Block& info)
{
    std::vector<Byte> r;
    if (!read_reply(*this, 0, {info[0], info[1]}, ReplyRule::strict(16), r))
        return false;
    std::copy(r.begin(), r.begin() + 16, info.begin());
    return true;
}

bool Feature8081PerKeyLighting::SetIndividualRgbZones(std::vector<RgbZone> zones)
{
    const Params p = zones_block(zones);
    return p && write_checked(1, *p, zones_echo(zones));
}

bool Feature8081PerKeyLighting::SetConsecutiveRgbZones(ConsecutiveRgbZones run)
{
    const Params p = run_block(run);
    return p && write_checked(2, *p, run_echo(run.startZoneId));
}

bool Feature8081PerKeyLighting::SetConsecutiveRgbZonesDeltaCompression_5bit(const Block& block)
{
    return write_checked(3, *raw_block(block), run_echo(block[0]));
}

bool Feature8081PerKeyLighting::SetConsecutiveRgbZonesDeltaCompression_4bit(ConsecutiveRgbZones run)
{
    const Params p = run_block(run);
    return p && write_checked(4, *p, run_echo(run.startZoneId));
}

bool Feature8081PerKeyLighting::SetRangeRgbZones(std::vector<RgbRange> ranges)
{
    const Params p = ranges_block(ranges);
    return p && write_checked(5, *p, ranges_echo(ranges));
}

bool Feature8081PerKeyLighting::SetRgbZonesSingleValue(RgbZonesSingleValue value)
{
    const Params p = single_block(value);
    return p && write_checked(6, *p, single_echo(value));
}

bool Feature8081PerKeyLighting::FrameEnd(std::uint8_t a, std::uint16_t b, std::uint16_t c)
{
    return write_request(*this, 7, frame_end_params(a, b, c));
}

std::shared_ptr<IRequest> Feature8081PerKeyLighting::SetIndividualRgbZones_Async(std::vector<RgbZone> zones)
{
    return queue(*this, 1, zones_block(zones),
                 "decoding Feature8081PerKeyLighting::SetIndividualRgbZones_Async response");
}

std::shared_ptr<IRequest> Feature8081PerKeyLighting::SetConsecutiveRgbZones_Async(ConsecutiveRgbZones run)
{
    return queue(*this, 2, run_block(run), "decoding Feature8081PerKeyLighting::SetConsecutiveRgbZones_Async response");
}

std::shared_ptr<IRequest>
Feature8081PerKeyLighting::SetConsecutiveRgbZonesDeltaCompression_5bit_Async(const Block& block)
{
    return queue(*this, 3, raw_block(block),
                 "decoding Feature8081PerKeyLighting::SetConsecutiveRgbZonesDeltaCompression_5bit_Async response");
}

std::shared_ptr<IRequest>
Feature8081PerKeyLighting::SetConsecutiveRgbZonesDeltaCompression_4bit_Async(ConsecutiveRgbZones run)
{
    return queue(*this, 4, run_block(run),
                 "decoding Feature8081PerKeyLighting::SetConsecutiveRgbZonesDeltaCompression_4bit_Async response");
}

std::shared_ptr<IRequest> Feature8081PerKeyLighting::SetRangeRgbZones_Async(std::vector<RgbRange> ranges)
{
    return queue(*this, 5, ranges_block(ranges), "decoding Feature8081PerKeyLighting::SetRangeRgbZones_Async response");
}

std::shared_ptr<IRequest> Feature8081PerKeyLighting::SetRgbZonesSingleValue_Async(RgbZonesSingleValue value)
{
    return queue(*this, 6, single_block(value),
                 "decoding Feature8081PerKeyLighting::SetRgbZonesSingleValue_Async response");
}

std::shared_ptr<IRequest> Feature8081PerKeyLighting::FrameEnd_Async(std::uint8_t a, std::uint16_t b, std::uint16_t c)
{
    return queue(*this, 7, frame_end_params(a, b, c), "decoding Feature8081PerKeyLighting::FrameEnd_Async response");
}

bool Feature8081PerKeyLighting::BuildIndividualRgbZonesReport(std::vector<Byte>& report, std::vector<RgbZone> zones)
{
    const Params p = zones_block(zones);
    return p && build(report, 1, *p);
}

bool Feature8081PerKeyLighting::BuildConsecutiveRgbZonesReport(std::vector<Byte>& report, ConsecutiveRgbZones run)
{
    const Params p = run_block(run);
    return p && build(report, 2, *p);
}

bool Feature8081PerKeyLighting::BuildDeltaCompression5bitReport(std::vector<Byte>& report, const Block& block)
{
    return build(report, 3, *raw_block(block));
}

bool Feature8081PerKeyLighting::BuildDeltaCompression4bitReport(std::vector<Byte>& report, ConsecutiveRgbZones run)
{
    const Params p = run_block(run);
    return p && build(report, 4, *p);
}

bool Feature8081PerKeyLighting::BuildRangeRgbZonesReport(std::vector<Byte>& report, std::vector<RgbRange> ranges)
{
    const Params p = ranges_block(ranges);
    return p && build(report, 5, *p);
}

bool Feature8081PerKeyLighting::BuildRgbZonesSingleValueReport(std::vector<Byte>& report, RgbZonesSingleValue value)
{
    const Params p = single_block(value);
    return p && build(report, 6, *p);
}

bool Feature8081PerKeyLighting::BuildFrameEndReport(std::vector<Byte>& report, std::uint8_t a, std::uint16_t b,
                                                    std::uint16_t c)
{
    return build(report, 7, frame_end_params(a, b, c));
}

} // namespace devio

DEVIO_REGISTER_FEATURE(Feature8081PerKeyLighting, 0x8081)
