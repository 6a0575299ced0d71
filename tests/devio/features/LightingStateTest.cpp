// What the lighting and audio features keep between calls: the zone tables of 0x8070/0x8071
// (loaded once, on first use, by one thread), their own versions read through Root, and the
// batching of per-key colours by 0x8080.
#include "GoldenWire.h"
#include "support/Within.h"

#include "core/Request.h"
#include "core/Subscriber.h"
#include "features/Feature.h"
#include "features/IFeature8070ColorLEDEffects.h"
#include "features/IFeature8071RGBEffects.h"
#include "features/IFeature8080PerKeyLighting.h"
#include "features/IFeature8310Equalizer.h"
#include "features/FeatureRegistry.h"
#include "quillon/ProductIds.h"

#include <gtest/gtest.h>

#include <atomic>
#include <thread>

using namespace devio;
using namespace devio::test;
using quillon::test::within;

namespace {

using B = std::vector<Byte>;

// A lighting device: `zones` gives each zone's id and effect ids; Root answers `version`
// (none: Root does not answer). Functions follow 0x8070 (0 info, 1 zone, 2 effect).
struct ZoneDevice {
    std::vector<std::pair<std::uint16_t, std::vector<std::uint16_t>>> zones;
    std::optional<Byte> version;
    int wrong_zone = -1; // this zone's reply names another zone

    std::shared_ptr<FakeDevice> make()
    {
        auto dev = std::make_shared<FakeDevice>();
        const auto z = zones;
        const auto v = version;
        const int wrong = wrong_zone;
        dev->answer = [z, v, wrong](const B& c) -> std::optional<B> {
            if (c[2] == 0) { // Root GetFeature
                if (!v)
                    return std::nullopt;
                return FakeDevice::reply_to(c, {kGoldenIndex, 0, *v});
            }
            const auto p = params_of(c);
            switch (function_of(c)) {
            case 0:
                return FakeDevice::reply_to(c, {static_cast<Byte>(z.size()), 0, 0, 0, 0});
            case 1: {
                const auto& zone = z.at(p[0]);
                const Byte named = static_cast<Byte>(p[0] == wrong ? p[0] + 1 : p[0]);
                return FakeDevice::reply_to(c, {named, static_cast<Byte>(zone.first >> 8),
                                                static_cast<Byte>(zone.first), static_cast<Byte>(zone.second.size()), 0});
            }
            case 2: {
                const std::uint16_t id = z.at(p[0]).second.at(p[1]);
                return FakeDevice::reply_to(c, {p[0], p[1], static_cast<Byte>(id >> 8), static_cast<Byte>(id), 0, 0, 0, 0});
            }
            default:
                return FakeDevice::reply_to(c, B(16, 0));
            }
        };
        return dev;
    }
};

std::size_t count_function(const std::vector<FakeDevice::Sent>& log, unsigned function, Byte index = kGoldenIndex)
{
    std::size_t n = 0;
    for (const auto& s : log)
        if (s.command[2] == index && function_of(s.command) == function)
            ++n;
    return n;
}
std::size_t root_requests(const std::vector<FakeDevice::Sent>& log) { return count_function(log, 0, 0); }

TEST(ZoneTable, LoadedOnceOnFirstUseAndNeverOnCreation)
{
    ZoneDevice zones{{{0x000A, {1, 2}}, {0x000B, {3}}}, Byte{1}};
    auto dev = zones.make();
    auto fx = make<IFeature8070ColorLEDEffects>(0x8070, dev, kGoldenIndex);
    EXPECT_TRUE(dev->log().empty()) << "creation sends nothing";
    ZoneInfo info;
    ASSERT_TRUE(fx->GetZoneInfo(1, info));
    EXPECT_EQ(info.zoneId, 0x0Bu);
    EXPECT_EQ(info.effectCount, 1u);
    // Loading: info, zone 0 and its two effects, zone 1 and its effect; then the call itself.
    EXPECT_EQ(dev->log().size(), 7u);
    dev->clear_log();
    ASSERT_TRUE(fx->SetZoneEffect(0x0B, 3, {9}, false));
    ASSERT_EQ(dev->log().size(), 1u) << "the table is kept";
    EXPECT_EQ(params_of(dev->log()[0].command), (B{1, 0, 9}));
    EXPECT_FALSE(fx->GetZoneInfo(2, info)) << "past the table";
    EXPECT_EQ(info.zoneIndex, 2u);
    EXPECT_EQ(dev->log().size(), 1u);
}

TEST(ZoneTable, NoZonesAskAgainAndAWrongZoneEmptiesTheTable)
{
    ZoneDevice none{{}, Byte{1}};
    auto dev = none.make();
    auto fx = make<IFeature8070ColorLEDEffects>(0x8070, dev, kGoldenIndex);
    ZoneInfo info;
    std::uint32_t effect = 0;
    B params;
    EXPECT_FALSE(fx->GetZoneInfo(0, info));
    EXPECT_FALSE(fx->GetZoneEffect(0, effect, params, 0));
    EXPECT_EQ(count_function(dev->log(), 0), 2u) << "each Table call asks for the zones again";
    EXPECT_TRUE(fx->SetEffectOnAllZones(5, {}, false)) << "nothing matched is still true";

    ZoneDevice wrong{{{0x0A, {1}}, {0x0B, {2}}}, Byte{1}, 1};
    auto dev2 = wrong.make();
    auto fx2 = make<IFeature8070ColorLEDEffects>(0x8070, dev2, kGoldenIndex);
    set_last_error(0, 0, nullptr);
    EXPECT_FALSE(fx2->SetZoneEffect(0x0A, 1, {}, false));
    EXPECT_EQ(last_error().code, 56u);
    dev2->clear_log();
    EXPECT_FALSE(fx2->SetZoneEffect(0x0A, 1, {}, false));
    EXPECT_EQ(count_function(dev2->log(), 0), 1u) << "the half-loaded table was dropped";
    EXPECT_EQ(count_function(dev2->log(), 3), 0u);

    // The same for 0x8071, whose zone query is function 0 too: a device without zones.
    ZoneDevice empty{{}, Byte{0}};
    auto dev3 = empty.make();
    auto rgb = make<IFeature8071RGBEffects>(0x8071, dev3, kGoldenIndex);
    EXPECT_FALSE(rgb->SetZoneWord(0, 1));
    EXPECT_FALSE(rgb->SetZoneWord(0, 1));
    EXPECT_EQ(dev3->log().size(), 2u) << "only the zone count, twice";
}

TEST(ZoneTable, LookupsByIdentifier)
{
    // Two zones share id 0x0A; effect 7 is offered only by the second.
    ZoneDevice zones{{{0x0A, {1}}, {0x0A, {7}}}, Byte{1}};
    auto dev = zones.make();
    auto fx = make<IFeature8070ColorLEDEffects>(0x8070, dev, kGoldenIndex);
    ASSERT_TRUE(fx->SetZoneEffect(0x0A, 7, {}, false));
    EXPECT_EQ(params_of(dev->log().back().command), (B{1, 0}));
    dev->clear_log();
    EXPECT_FALSE(fx->SetZoneEffectAsync(0x0A, 7, {})) << "only the first zone with the id is searched";
    EXPECT_TRUE(dev->log().empty());
    EXPECT_FALSE(fx->SetZoneEffect(0x0A, 7, B(15, 0), false));
    EXPECT_EQ(last_error().code, 46u);
    EXPECT_FALSE(fx->SetEffectOnAllZones(7, B(15, 0), false));
    EXPECT_EQ(last_error().code, 46u);
    EXPECT_TRUE(dev->log().empty());

    auto rgbDev = ZoneDevice{{{0x0A, {1}}, {0x0A, {7}}}, Byte{0}}.make();
    auto rgb = make<IFeature8071RGBEffects>(0x8071, rgbDev, kGoldenIndex);
    EXPECT_FALSE(rgb->SetEffect(0x0A, 7, {}));
    EXPECT_FALSE(rgb->SetEffectAsync(0x0A, 7, {}));
}

TEST(ZoneTable, TwoThreadsFirstUseLoadsOnce)
{
    ZoneDevice zones{{{0x0A, {1, 2}}, {0x0B, {3}}, {0x0C, {}}}, Byte{1}};
    for (int round = 0; round < 20; ++round) {
        auto dev = zones.make();
        auto fx = make<IFeature8070ColorLEDEffects>(0x8070, dev, kGoldenIndex);
        std::atomic<bool> go{false};
        auto use = [&] {
            while (!go.load()) {
                std::this_thread::yield();
            }
            ZoneInfo info;
            EXPECT_TRUE(fx->GetZoneInfo(2, info));
            EXPECT_TRUE(fx->SetZoneWord(1, 5));
        };
        std::thread a(use), b(use);
        go = true;
        a.join();
        b.join();
        EXPECT_EQ(count_function(dev->log(), 0), 1u) << "one load";
        EXPECT_EQ(root_requests(dev->log()), 1u) << "one version read";
    }
}

// ---------------------------------------------------------------- versions

struct SyncRecorder : Subscriber<IFeature8070ColorLEDEffects::Report>, Subscriber<IFeature8071RGBEffects::Report> {
    std::atomic<int> reports{0};
    void onSyncReport(const std::vector<Byte>&) override { ++reports; }
    void onUserActivity(const std::vector<Byte>&) override { ++reports; }
};

TEST(Versions, ColourEffectsNeedOneTo254)
{
    struct Row {
        const char* name;
        std::optional<Byte> version;
        bool extended;
    };
    const Row rows[] = {{"0", Byte{0}, false}, {"1", Byte{1}, true}, {"254", Byte{254}, true},
                        {"unreadable", std::nullopt, false}};
    for (const Row& r : rows) {
        SCOPED_TRACE(r.name);
        auto dev = ZoneDevice{{{0x0A, {1}}}, r.version}.make();
        auto fx = make<IFeature8070ColorLEDEffects>(0x8070, dev, kGoldenIndex);
        SyncRecorder recorder;
        recorder.Subscriber<IFeature8070ColorLEDEffects::Report>::subscribe(fx, 1, "");
        auto base = std::dynamic_pointer_cast<Feature>(std::static_pointer_cast<IFeature>(fx));

        // Unknown at first: the notice publishes nothing and asks Root without waiting.
        within(
            [&] {
                base->onFeatureReport(0, {1, 2, 3, 4});
                return true;
            },
            "a notice before the version is known");
        EXPECT_EQ(recorder.reports, 0);
        EXPECT_EQ(root_requests(dev->log()), 1u);

        set_last_error(77, 0, nullptr);
        bool f1 = false, f2 = false;
        EXPECT_EQ(fx->GetFlagPair(f1, f2), r.extended);
        EXPECT_EQ(fx->ByteCommand(3), r.extended);
        EXPECT_EQ(fx->SetZoneWord(0, 0x0102), r.extended);
        EXPECT_EQ(count_function(dev->log(), 7) + count_function(dev->log(), 11) + count_function(dev->log(), 13),
                  r.extended ? 3u : 0u);
        if (!r.extended && r.version) {
            EXPECT_EQ(last_error().code, 77u) << "a refusal leaves the record";
        }
        // Read once when readable; asked again on every check while unreadable.
        EXPECT_EQ(root_requests(dev->log()), r.version ? 1u : 4u);
        EXPECT_EQ(fx->feature_version(), r.version ? *r.version : 255u);

        base->onFeatureReport(0, {1, 2, 3, 4});
        base->onFeatureReport(0, {1, 2, 3});
        base->onFeatureReport(1, {1, 2, 3, 4});
        EXPECT_EQ(recorder.reports, r.extended ? 1 : 0);
        recorder.Subscriber<IFeature8070ColorLEDEffects::Report>::unsubscribe(fx);
    }
}

TEST(Versions, RgbEffectsIgnoreTheirsAndTheEqualizerRetriesWhileUnread)
{
    auto dev = ZoneDevice{{{0x0A, {1}}}, Byte{0}}.make();
    auto rgb = make<IFeature8071RGBEffects>(0x8071, dev, kGoldenIndex);
    EXPECT_EQ(rgb->feature_version(), 0u);
    SyncRecorder recorder;
    recorder.Subscriber<IFeature8071RGBEffects::Report>::subscribe(rgb, 1, "");
    auto base = std::dynamic_pointer_cast<Feature>(std::static_pointer_cast<IFeature>(rgb));
    base->onFeatureReport(0, {1, 2, 3, 4});
    base->onFeatureReport(1, {1, 2, 3, 4});
    EXPECT_EQ(recorder.reports, 2);
    EXPECT_TRUE(rgb->SetByteSetting(1));
    recorder.Subscriber<IFeature8071RGBEffects::Report>::unsubscribe(rgb);

    auto silent = ZoneDevice{{}, std::nullopt}.make();
    auto eq = make<IFeature8310Equalizer>(0x8310, silent, kGoldenIndex);
    EXPECT_EQ(eq->feature_version(), 255u);
    EXPECT_EQ(eq->feature_version(), 255u);
    EXPECT_EQ(root_requests(silent->log()), 2u);
    auto readable = ZoneDevice{{}, Byte{3}}.make();
    auto eq2 = make<IFeature8310Equalizer>(0x8310, readable, kGoldenIndex);
    EXPECT_EQ(eq2->feature_version(), 3u);
    EXPECT_EQ(eq2->feature_version(), 3u);
    EXPECT_EQ(root_requests(readable->log()), 1u);
}

TEST(Creation, TheFamilyIdsSendNothing)
{
    const std::uint16_t ids[] = {0x8010, 0x8020, 0x8030, 0x8040, 0x8060, 0x8070, 0x8071, 0x807A, 0x8080,
                                 0x8081, 0x8090, 0x80A3, 0x80D0, 0x8100, 0x8110, 0x8111, 0x8120, 0x8123,
                                 0x8127, 0x8300, 0x8310, 0x8320, 0x8330, 0x8350, 0x8360, 0x8370};
    auto dev = std::make_shared<FakeDevice>();
    for (std::uint16_t id : ids) {
        auto f = make_feature(id, kGoldenIndex, dev);
        ASSERT_TRUE(f);
        EXPECT_EQ(f->feature_id(), id);
        f.reset();
    }
    EXPECT_TRUE(dev->log().empty());
}

// ---------------------------------------------------------------- per-key lighting 0x8080

std::vector<IFeature8080PerKeyLighting::KeyRecord> records(std::size_t n)
{
    std::vector<IFeature8080PerKeyLighting::KeyRecord> r;
    for (std::size_t k = 1; k <= n; ++k)
        r.push_back({static_cast<Byte>(k), 1, 2, 3});
    return r;
}

// Batch sizes and first key ids of the logged fn 3 requests, in wire order.
std::vector<std::pair<int, int>> batches_of(const std::vector<FakeDevice::Sent>& log)
{
    std::vector<std::pair<int, int>> out;
    for (const auto& s : log) {
        if (function_of(s.command) != 3)
            continue;
        const auto p = params_of(s.command);
        out.emplace_back(p[3], p.size() > 4 ? p[4] : 0);
    }
    return out;
}

TEST(PerKeyLighting8080, BatchesOfFourteenInOrderAndLastFirstWhenQueued)
{
    using Pairs = std::vector<std::pair<int, int>>;
    auto dev = std::make_shared<FakeDevice>();
    dev->answer = [](const B& c) { return FakeDevice::reply_to(c, {0, 0, 0}); };
    auto keys = make<IFeature8080PerKeyLighting>(0x8080, dev);
    ASSERT_TRUE(keys->SetKeyColors(1, records(30)));
    EXPECT_EQ(batches_of(dev->log()), (Pairs{{14, 1}, {14, 15}, {2, 29}}));
    EXPECT_EQ(dev->log()[0].command.size(), 64u) << "4 header, 4 batch bytes and 14 records";

    dev->clear_log();
    auto request = keys->SetKeyColorsAsync(1, records(30));
    ASSERT_TRUE(request);
    EXPECT_TRUE(request->wait());
    EXPECT_EQ(batches_of(dev->log()), (Pairs{{2, 29}, {14, 15}, {14, 1}}));

    dev->clear_log();
    ASSERT_TRUE(keys->SetKeyColors(1, records(14)));
    ASSERT_TRUE(keys->SetKeyColors(1, {}));
    EXPECT_EQ(batches_of(dev->log()), (Pairs{{14, 1}, {0, 0}}));
    EXPECT_EQ(params_of(dev->log()[1].command), (B{0, 1, 0, 0}));

    // A failing second batch ends the synchronous write there.
    dev->clear_log();
    dev->answer = [](const B& c) -> std::optional<B> {
        if (function_of(c) == 3 && c[8] == 15)
            return std::nullopt;
        return FakeDevice::reply_to(c, {0, 0, 0});
    };
    EXPECT_FALSE(keys->SetKeyColors(1, records(30)));
    EXPECT_EQ(last_error().code, 4u);
    EXPECT_EQ(batches_of(dev->log()), (Pairs{{14, 1}, {14, 15}}));

    // Queued, every batch goes; the caller's request carries the failure of an earlier batch.
    dev->clear_log();
    auto failing = keys->SetKeyColorsAsync(1, records(30));
    ASSERT_TRUE(failing);
    EXPECT_FALSE(failing->wait());
    EXPECT_EQ(last_error().code, 4u);
    EXPECT_EQ(batches_of(dev->log()), (Pairs{{2, 29}, {14, 15}, {14, 1}}));
}

TEST(PerKeyLighting8080, ProductRulesAndTheSetMergeRule)
{
    using Pairs = std::vector<std::pair<int, int>>;
    auto dev = std::make_shared<FakeDevice>();
    dev->answer = [](const B& c) { return FakeDevice::reply_to(c, {0x00, 0x03, 0, 0, 4, 0, 5}); };
    auto keys = make<IFeature8080PerKeyLighting>(0x8080, dev);

    std::vector<IFeature8080PerKeyLighting::KeyRecord> mixed{{0, 1, 1, 1}, {1, 1, 1, 1}, {3, 1, 1, 1}, {2, 1, 1, 1}};
    dev->product_id = quillon::ids::kPerKeyFilterProductId;
    ASSERT_TRUE(keys->SetKeyColors(0x0040, mixed));
    ASSERT_TRUE(keys->SetKeyColors(0x0041, mixed));
    EXPECT_EQ(batches_of(dev->log()), (Pairs{{2, 1}, {4, 0}})) << "only set 64 is filtered";

    IFeature8080PerKeyLighting::PerKeyLightingInfo info;
    ASSERT_TRUE(keys->GetInfo(info));
    EXPECT_EQ(info.w0, 3);
    dev->product_id = quillon::ids::kPerKeyInfoQuirkProductId;
    ASSERT_TRUE(keys->GetInfo(info));
    EXPECT_EQ(info.w0, 1) << "only bit 1 cleared";

    dev->clear_log();
    auto paint = keys->SetAllKeysToColorAsync(0x0001, 1, 2, 3);
    ASSERT_TRUE(paint && paint->wait());
    const auto rule = dev->log().at(0).merge_rule;
    ASSERT_TRUE(rule);
    EXPECT_TRUE(rule({0x00, 0x01, 9, 9, 9}, {0x00, 0x01, 1, 2, 3}));
    EXPECT_FALSE(rule({0x00, 0x01, 9, 9, 9}, {0x00, 0x40, 1, 2, 3})) << "sets 0x0001 and 0x0040 are apart";
    auto flush = keys->FlushAsync(1);
    ASSERT_TRUE(flush && flush->wait());
    EXPECT_FALSE(dev->log().back().merge_rule);
}

TEST(PerKeyLighting8080, ReadsPagesAndKeepsWhatWasReadBeforeAFailure)
{
    auto dev = std::make_shared<FakeDevice>();
    int pages = 0;
    int failAt = -1;
    dev->answer = [&](const B& c) -> std::optional<B> {
        const auto p = params_of(c);
        if (function_of(c) == 1)
            return FakeDevice::reply_to(c, {0, 30, 0, 0, 0});
        if (pages++ == failAt)
            return std::nullopt;
        const int first = (p[2] << 8) | p[3];
        const int n = std::min(14, 30 - first);
        B reply{0, 0, 0, 0};
        for (int k = 0; k < n; ++k)
            reply.insert(reply.end(), {static_cast<Byte>(first + k + 1), 1, 2, 3});
        if (first == 0)
            reply[4] = 0; // key id 0 is skipped
        return FakeDevice::reply_to(c, reply);
    };
    auto keys = make<IFeature8080PerKeyLighting>(0x8080, dev);
    std::vector<IFeature8080PerKeyLighting::KeyRecord> out;
    ASSERT_TRUE(keys->GetKeys(0x0001, 7, out));
    EXPECT_EQ(out.size(), 29u);
    EXPECT_EQ(out.front().keyId, 2);
    EXPECT_EQ(out.back().keyId, 30);
    EXPECT_EQ(params_of(dev->log()[2].command), (B{0, 1, 0, 14, 7}));

    pages = 0;
    failAt = 1;
    EXPECT_FALSE(keys->GetKeys(0x0001, out));
    EXPECT_EQ(out.size(), 13u) << "the first page stays";
}

} // namespace
