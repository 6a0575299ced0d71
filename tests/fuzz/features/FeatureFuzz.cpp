// Feeds arbitrary bytes to the feature classes, the way a device could:
//   byte 0 % 3 == 0: a notification     bytes 1-2 feature id, byte 3 event number, rest payload
//   byte 0 % 3 == 1: an unanswered report  bytes 1-2 feature id, byte 3 function and software id,
//                                          rest payload
//   byte 0 % 3 == 2: the replies to a golden call  bytes 1-2 feature id, byte 3 which of its rows,
//                    then replies, each a length byte (% 61: up to the 60 payload bytes of a
//                    very long report) and that many payload bytes
// A feature id that has no registration (or no golden row) picks one by its value.
// With QUILLON_FEATURE_SEEDS=<folder> set, the replay binary first writes seeds there: each
// golden row with its own replies, and a notification of each registered feature.
#include "devio/features/FakeDevice.h"
#include "devio/features/GoldenWire.h"

#include "features/Feature.h"
#include "features/FeatureRegistry.h"

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <map>
#include <string>
#include <vector>

using namespace devio;
using namespace devio::test;

namespace {

std::vector<std::uint16_t> registered_ids()
{
    FeatureRegistry::ensure_registered();
    std::vector<std::uint16_t> ids;
    for (const auto& [id, creator] : FeatureRegistry::registered())
        ids.push_back(static_cast<std::uint16_t>(id));
    return ids;
}

std::uint16_t pick(const std::vector<std::uint16_t>& ids, std::uint16_t wanted)
{
    for (std::uint16_t id : ids)
        if (id == wanted)
            return id;
    return ids[wanted % ids.size()];
}

void feed_report(bool notification, std::uint16_t id, std::uint8_t function, const std::vector<Byte>& payload)
{
    auto dev = std::make_shared<FakeDevice>();
    auto feature = std::dynamic_pointer_cast<Feature>(make_feature(id, kGoldenIndex, dev));
    if (!feature)
        return;
    if (notification)
        feature->onFeatureReport(function & 0x0F, payload);
    else
        feature->onUnexpectedResponse(function >> 4, function & 0x0F, payload);
}

void feed_replies(std::uint16_t id, std::uint8_t which, const std::uint8_t* data, std::size_t size)
{
    std::vector<const GoldenRow*> rows;
    for (const auto& row : golden_rows())
        if (row.feature == id)
            rows.push_back(&row);
    if (rows.empty()) {
        if (golden_rows().empty())
            return;
        rows.push_back(&golden_rows()[id % golden_rows().size()]);
    }
    std::vector<std::vector<Byte>> replies;
    std::size_t i = 0;
    while (i < size) {
        const std::size_t n = data[i++] % 61;
        const std::size_t take = std::min(n, size - i);
        replies.emplace_back(data + i, data + i + take);
        i += take;
    }
    run_golden(*rows[which % rows.size()], replies);
}

void write_seed(const std::string& folder, const std::string& name, const std::vector<std::uint8_t>& bytes)
{
    std::ofstream out(folder + "/" + name, std::ios::binary);
    out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
}

void write_seeds(const std::string& folder)
{
    std::map<std::uint16_t, int> perFeature;
    for (const auto& row : golden_rows()) {
        const int n = perFeature[row.feature]++;
        std::vector<std::uint8_t> seed{2, static_cast<std::uint8_t>(row.feature >> 8),
                                       static_cast<std::uint8_t>(row.feature), static_cast<std::uint8_t>(n)};
        for (const auto& reply : row.replies) {
            seed.push_back(static_cast<std::uint8_t>(reply.size()));
            seed.insert(seed.end(), reply.begin(), reply.end());
        }
        char name[32];
        std::snprintf(name, sizeof name, "reply-%04x-%d", row.feature, n);
        write_seed(folder, name, seed);
    }
    for (std::uint16_t id : registered_ids()) {
        char name[32];
        std::snprintf(name, sizeof name, "notify-%04x", id);
        write_seed(folder, name,
                   {0, static_cast<std::uint8_t>(id >> 8), static_cast<std::uint8_t>(id), 0, 0x01, 0x02, 0x03, 0x04,
                    0x05, 0x06, 0x07, 0x08, 0x09, 0x0A, 0x0B, 0x0C, 0x0D, 0x0E, 0x0F, 0x10});
    }
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***)
{
    if (const char* folder = std::getenv("QUILLON_FEATURE_SEEDS"))
        write_seeds(folder);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    static const std::vector<std::uint16_t> ids = registered_ids();
    if (size < 4 || ids.empty())
        return 0;
    const std::uint16_t wanted = static_cast<std::uint16_t>((data[1] << 8) | data[2]);
    switch (data[0] % 3) {
    case 0:
        feed_report(true, pick(ids, wanted), data[3], std::vector<Byte>(data + 4, data + size));
        break;
    case 1:
        feed_report(false, pick(ids, wanted), data[3], std::vector<Byte>(data + 4, data + size));
        break;
    default:
        feed_replies(wanted, data[3], data + 4, size - 4);
        break;
    }
    return 0;
}
