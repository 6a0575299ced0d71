// The lighting features against a real devio::Device and the simulated device with very long
// reports: per-key batches and pages of up to 64 bytes, the RGB effect record, requests that
// replace queued ones behind a request the device is still handling, and the colour-effect
// decoder that must not wait on the thread delivering reports.
#include "LightingRows.h"
#include "devio/device/DeviceTestSupport.h"
#include "support/Within.h"

#include "core/Request.h"
#include "core/Subscriber.h"
#include "features/Feature.h"
#include "features/IFeature8070ColorLEDEffects.h"
#include "features/IFeature8071RGBEffects.h"
#include "features/IFeature8080PerKeyLighting.h"
#include "features/IFeature8081PerKeyLighting.h"
#include "quillon/ProductIds.h"

#include <gtest/gtest.h>

#include <atomic>
#include <condition_variable>
#include <mutex>

using namespace devio;
using namespace devio::test;
using platform::sim::SimAnswer;
using quillon::test::within;

namespace {

using KeyRecord = IFeature8080PerKeyLighting::KeyRecord;

platform::sim::SimProtocolConfig lighting_config(bool veryLong = true)
{
    auto c = platform::sim::sim_keyboard_config();
    c.very_long_reports = veryLong;
    for (std::uint16_t id : {0x8070, 0x8071, 0x8080})
        c.features.push_back({id, 0, 1});
    return c;
}

template <class I>
std::shared_ptr<I> feature_of(Rig& rig, std::uint32_t id)
{
    return std::dynamic_pointer_cast<I>(rig.device->getFeatureSync(id));
}

template <class I>
Byte index_of(const std::shared_ptr<I>& f)
{
    return std::static_pointer_cast<IFeature>(f)->feature_index();
}

// The call's result and the code it left on the thread that ran it.
template <class Call>
std::pair<bool, ErrorCode> run(Call call, const char* what)
{
    return within(
        [call] {
            const bool ok = call();
            return std::make_pair(ok, last_error().code);
        },
        what);
}

// The reports written for (index, function), in order.
std::vector<Bytes> frames(const Rig& rig, Byte index, unsigned function)
{
    std::vector<Bytes> out;
    for (const Bytes& r : rig.model->written())
        if (r.size() > 3 && r[2] == index && (r[3] >> 4) == function)
            out.push_back(r);
    return out;
}

bool written_with(const Rig& rig, Byte index, unsigned function, const Bytes& params)
{
    for (const Bytes& r : frames(rig, index, function))
        if (r.size() >= 4 + params.size() && std::equal(params.begin(), params.end(), r.begin() + 4))
            return true;
    return false;
}

std::vector<KeyRecord> records(std::size_t n)
{
    std::vector<KeyRecord> r;
    for (std::size_t k = 1; k <= n; ++k)
        r.push_back({static_cast<Byte>(k), 1, 2, 3});
    return r;
}

TEST(AnswerKinds, PrefixRowsAndReplyLengths)
{
    platform::sim::SimAnswerTable table({
        SimAnswer::by_prefix(0x8080, 2, {{{0, 1}, {1}}, {{0, 1, 0, 14}, {2}}, {{}, {3}}}),
        SimAnswer::by_prefix(0x8070, 1, {{{4}, {4}}}).sized(SimAnswer::Length::Short),
    });
    EXPECT_EQ(table.answer(0x8080, 2, {0, 1, 0, 14, 0})->payload, (Bytes{2})) << "the longest prefix";
    EXPECT_EQ(table.answer(0x8080, 2, {0, 1, 0, 28, 0})->payload, (Bytes{1}));
    EXPECT_EQ(table.answer(0x8080, 2, {7})->payload, (Bytes{3})) << "the empty key takes the rest";
    EXPECT_TRUE(table.answer(0x8070, 1, {5})->error);
    EXPECT_EQ(table.answer(0x8070, 1, {4})->length, SimAnswer::Length::Short);

    // On a device: a short reply carries 3 payload bytes, so a run command's echo check fails;
    // a payload over 16 bytes is cut without very long reports and goes whole with them.
    for (bool veryLong : {false, true}) {
        SCOPED_TRACE(veryLong);
        auto config = lighting_config(veryLong);
        config.features.push_back({0x8081, 0, 0});
        config.features.push_back({0x8123, 0, 0});
        config.answers.push_back(SimAnswer::fixed(0x8081, 2, Bytes(16, 5)).sized(SimAnswer::Length::Short));
        config.answers.push_back(SimAnswer::fixed(0x8123, 5, Bytes(30, 1)));
        Rig rig(config);
        auto keys = std::dynamic_pointer_cast<IFeature8081PerKeyLighting>(rig.device->getFeatureSync(0x8081));
        ASSERT_TRUE(keys);
        EXPECT_EQ(run([&] { return keys->SetConsecutiveRgbZones({5, {}}); }, "SetConsecutiveRgbZones"),
                  std::make_pair(false, ErrorCode{78}));
        auto force = rig.device->getFeatureSync(0x8123);
        ASSERT_TRUE(force);
        std::vector<Byte> reply;
        ASSERT_TRUE(within([&] { return force->execute(5, {}, reply, 0); }, "a read"));
        EXPECT_EQ(reply.size(), veryLong ? 60u : 16u);
    }
}

TEST(PerKeyOnDevice, ThirtyRecordsGoInBatchesOfFourteen)
{
    auto config = lighting_config();
    // Batch 2 (keys 15 to 28) is refused; the others are taken.
    config.answers.push_back(SimAnswer::by_prefix(0x8080, 3, {{{0, 2, 0, 14, 1}, {}}, {{0, 2, 0, 2, 29}, {}}, {{0, 1}, {}}}));
    Rig rig(config);
    auto keys = feature_of<IFeature8080PerKeyLighting>(rig, 0x8080);
    ASSERT_TRUE(keys);
    const Byte index = index_of(keys);

    rig.model->clear_log();
    ASSERT_TRUE(within([&] { return keys->SetKeyColors(1, records(30)); }, "SetKeyColors"));
    auto sent = frames(rig, index, 3);
    ASSERT_EQ(sent.size(), 3u);
    EXPECT_EQ(sent[0].size(), 64u);
    EXPECT_EQ(sent[0][8], 1);
    EXPECT_EQ(sent[1][8], 15);
    EXPECT_EQ(sent[2][7], 2);
    EXPECT_EQ(sent[2][8], 29);
    EXPECT_EQ(sent[2][12], 30) << "second record of the last batch";

    rig.model->clear_log();
    auto queued = keys->SetKeyColorsAsync(1, records(30));
    ASSERT_TRUE(queued);
    EXPECT_TRUE(within([&] { return queued->wait(); }, "SetKeyColorsAsync"));
    sent = frames(rig, index, 3);
    ASSERT_EQ(sent.size(), 3u);
    EXPECT_EQ(sent[0][8], 29) << "the last batch first";
    EXPECT_EQ(sent[1][8], 15);
    EXPECT_EQ(sent[2][8], 1);

    // Set 2 refuses its second batch: the synchronous write stops there; the queued one sends
    // all three and still reports that failure, though the first batch, answered last, went through.
    const auto [ok, refused] = run([&] { return keys->SetKeyColors(2, records(30)); }, "SetKeyColors");
    EXPECT_FALSE(ok);
    EXPECT_NE(refused, 0u);
    rig.model->clear_log();
    auto failing = keys->SetKeyColorsAsync(2, records(30));
    ASSERT_TRUE(failing);
    EXPECT_EQ(run([&] { return failing->wait(); }, "SetKeyColorsAsync"), std::make_pair(false, refused));
    EXPECT_EQ(frames(rig, index, 3).size(), 3u);
}

TEST(PerKeyOnDevice, TheFilteredProductKeepsKeysOneAndTwoOfSet64)
{
    auto config = lighting_config();
    config.product_id = quillon::ids::kPerKeyFilterProductId;
    Rig rig(config);
    auto keys = feature_of<IFeature8080PerKeyLighting>(rig, 0x8080);
    ASSERT_TRUE(keys);
    rig.model->clear_log();
    ASSERT_TRUE(keys->SetKeyColors(0x0040, records(5)));
    auto sent = frames(rig, index_of(keys), 3);
    ASSERT_EQ(sent.size(), 1u);
    EXPECT_EQ(Bytes(sent[0].begin() + 4, sent[0].begin() + 16), (Bytes{0, 0x40, 0, 2, 1, 1, 2, 3, 2, 1, 2, 3}));
}

TEST(PerKeyOnDevice, ReadsThirtyKeysInPagesAndNeedsVeryLongReplies)
{
    auto config = lighting_config();
    for (auto& row : key_set_rows(0x0001, numbered_keys(30)))
        config.answers.push_back(row);
    Rig rig(config);
    auto keys = feature_of<IFeature8080PerKeyLighting>(rig, 0x8080);
    ASSERT_TRUE(keys);
    rig.model->clear_log();
    std::vector<KeyRecord> out;
    ASSERT_TRUE(within([&] { return keys->GetKeys(1, out); }, "GetKeys"));
    ASSERT_EQ(out.size(), 30u);
    EXPECT_EQ(out[29], (KeyRecord{30, 30, 31, 32}));
    const auto pages = frames(rig, index_of(keys), 2);
    ASSERT_EQ(pages.size(), 3u);
    EXPECT_EQ(pages[1][7], 14);
    EXPECT_EQ(pages[2][7], 28);

    // Four keys need a 20-byte reply: a device with 16-byte payloads cannot give it.
    auto small = lighting_config(false);
    for (auto& row : key_set_rows(0x0001, numbered_keys(4)))
        small.answers.push_back(row);
    Rig rig2(small);
    auto keys2 = feature_of<IFeature8080PerKeyLighting>(rig2, 0x8080);
    ASSERT_TRUE(keys2);
    out.assign(1, KeyRecord{});
    EXPECT_EQ(run([&] { return keys2->GetKeys(1, out); }, "GetKeys"), std::make_pair(false, ErrorCode{2}));
    EXPECT_TRUE(out.empty());
}

TEST(RgbEffectsOnDevice, SevenPagesTheFourthRefused)
{
    auto config = lighting_config();
    std::map<std::uint8_t, Bytes> pages;
    for (std::uint8_t k : {0, 1, 2, 4, 5, 6})
        pages[k] = Bytes(16, static_cast<std::uint8_t>(0x10 + k));
    config.answers.push_back(zone_rows_8071({{0x0A, {1}}}, pages, 3, 4));
    Rig rig(config);
    auto rgb = feature_of<IFeature8071RGBEffects>(rig, 0x8071);
    ASSERT_TRUE(rgb);
    rig.model->clear_log();
    IFeature8071RGBEffects::EffectDetails d;
    d.bytes[0] = 3;
    d.bytes[1] = 4;
    EXPECT_FALSE(within([&] { return rgb->GetEffectDetails(d); }, "GetEffectDetails"));
    EXPECT_EQ(frames(rig, index_of(rgb), 0).size(), 4u) << "no page after the refused one";
    EXPECT_EQ(d.bytes[2], 0) << "record untouched";

    // The zone table from the same rows: one zone, one effect.
    ASSERT_TRUE(within([&] { return rgb->SetEffect(0x0A, 1, {7}); }, "SetEffect"));
    EXPECT_TRUE(written_with(rig, index_of(rgb), 1, {0, 0, 7}));
}

// Holds the first write of (index, function) on the device's writer until released.
class WriteGate {
public:
    void install(Rig& rig, Byte index, unsigned function)
    {
        rig.hardware->set_write_hook([this, index, function](const Bytes& r) {
            if (r.size() > 3 && r[2] == index && (r[3] >> 4) == function) {
                std::unique_lock<std::mutex> lock(m_mutex);
                m_holding = true;
                m_changed.notify_all();
                m_changed.wait(lock, [this] { return m_open; });
            }
            return true;
        });
    }
    bool wait_holding()
    {
        std::unique_lock<std::mutex> lock(m_mutex);
        return m_changed.wait_for(lock, std::chrono::seconds(10), [this] { return m_holding; });
    }
    void release()
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_open = true;
        m_changed.notify_all();
    }

private:
    std::mutex m_mutex;
    std::condition_variable m_changed;
    bool m_holding = false;
    bool m_open = false;
};

TEST(MergesOnDevice, ANewerRequestReplacesAnUnsentOneForTheSameZoneOrSet)
{
    Rig rig(lighting_config());
    auto fx = feature_of<IFeature8070ColorLEDEffects>(rig, 0x8070);
    auto rgb = feature_of<IFeature8071RGBEffects>(rig, 0x8071);
    auto keys = feature_of<IFeature8080PerKeyLighting>(rig, 0x8080);
    ASSERT_TRUE(fx && rgb && keys);
    WriteGate gate;
    gate.install(rig, index_of(keys), 5);
    auto held = keys->FlushAsync();
    ASSERT_TRUE(held);
    ASSERT_TRUE(gate.wait_holding());

    ASSERT_TRUE(fx->SetZoneEffectByIndex(0, 1, {0xA1}, true));
    auto a2 = fx->SetZoneEffectByIndexAsync(0, 2, {0xA2});
    ASSERT_TRUE(fx->SetZoneEffectByIndex(1, 1, {0xB1}, true));
    auto b2 = fx->SetZoneEffectByIndexAsync(1, 2, {0xB2});
    auto c1 = rgb->SetEffectByIndex_Async(0, 1, {0xC1});
    auto c2 = rgb->SetEffectByIndex_Async(0, 2, {0xC2});
    auto c3 = rgb->SetEffectByIndex_Async(3, 1, {0xC3});
    auto p1 = keys->SetAllKeysToColorAsync(0x0001, 1, 1, 1);
    auto p2 = keys->SetAllKeysToColorAsync(0x0040, 2, 2, 2);
    auto p3 = keys->SetAllKeysToColorAsync(0x0001, 3, 3, 3);
    ASSERT_TRUE(a2 && b2 && c1 && c2 && c3 && p1 && p2 && p3);
    gate.release();
    for (auto* r : {&held, &a2, &b2, &c2, &c3, &p2, &p3})
        EXPECT_TRUE(within([r] { return (*r)->wait(); }, "a queued request"));
    rig.hardware->set_write_hook(nullptr);

    EXPECT_FALSE(written_with(rig, index_of(fx), 3, {0, 1, 0xA1})) << "replaced by the queued zone 0 effect";
    EXPECT_TRUE(written_with(rig, index_of(fx), 3, {0, 2, 0xA2}));
    EXPECT_FALSE(written_with(rig, index_of(fx), 3, {1, 1, 0xB1}));
    EXPECT_TRUE(written_with(rig, index_of(fx), 3, {1, 2, 0xB2}));
    EXPECT_FALSE(written_with(rig, index_of(rgb), 1, {0, 1, 0xC1}));
    EXPECT_TRUE(written_with(rig, index_of(rgb), 1, {0, 2, 0xC2}));
    EXPECT_TRUE(written_with(rig, index_of(rgb), 1, {3, 1, 0xC3}));
    EXPECT_FALSE(written_with(rig, index_of(keys), 4, {0x00, 0x01, 1, 1, 1}));
    EXPECT_TRUE(written_with(rig, index_of(keys), 4, {0x00, 0x40, 2, 2, 2})) << "another set stays";
    EXPECT_TRUE(written_with(rig, index_of(keys), 4, {0x00, 0x01, 3, 3, 3}));
}

struct SyncReports : Subscriber<IFeature8070ColorLEDEffects::Report> {
    std::atomic<int> count{0};
    void onSyncReport(const std::vector<Byte>&) override { ++count; }
};

// The Root requests asking for 0x8070's version.
std::size_t version_reads(const Rig& rig)
{
    std::size_t n = 0;
    for (const Bytes& r : frames(rig, 0, 0))
        if (r.size() > 5 && r[4] == 0x80 && r[5] == 0x70)
            ++n;
    return n;
}

TEST(ColourEffectsOnDevice, ANoticeBeforeTheVersionIsKnownNeverWaits)
{
    auto config = lighting_config();
    config.latency = std::chrono::milliseconds(50);
    for (auto& row : zone_rows_8070({{0x0A, {1}}}))
        config.answers.push_back(row);
    Rig rig(config);
    auto fx = feature_of<IFeature8070ColorLEDEffects>(rig, 0x8070);
    ASSERT_TRUE(fx);
    SyncReports reports;
    ASSERT_TRUE(reports.subscribe(fx, 1, "test"));
    rig.model->clear_log();

    // Two notices while the version is unread: nothing published, one Root lookup, nothing blocked.
    ASSERT_TRUE(rig.model->notify(0x8070, 0, {1, 2, 3, 4}));
    ASSERT_TRUE(rig.model->notify(0x8070, 0, {1, 2, 3, 4}));
    std::uint32_t zones = 0, w1 = 0, w2 = 0;
    EXPECT_TRUE(within([&] { return fx->GetInfo(zones, w1, w2); }, "another caller's request"));
    EXPECT_EQ(zones, 1u);
    ASSERT_TRUE(eventually([&] { return version_reads(rig) >= 1; }, 5s));
    EXPECT_EQ(reports.count, 0);

    // Once stored, the version serves every later check without asking again.
    ASSERT_TRUE(eventually([&] { return fx->SupportsExtendedFunctions(); }, 5s));
    EXPECT_EQ(version_reads(rig), 1u);
    ASSERT_TRUE(rig.model->notify(0x8070, 0, {1, 2, 3, 4}));
    EXPECT_TRUE(eventually([&] { return reports.count.load() == 1; }, 5s));
    reports.unsubscribe(fx);
}

TEST(ColourEffectsOnDevice, AFirstUseWhileANoticesLookupIsOnTheWireWaitsForItsAnswer)
{
    auto config = lighting_config();
    // Slow enough that the first use always comes while the notice's lookup is unanswered.
    config.latency = std::chrono::milliseconds(200);
    Rig rig(config);
    auto fx = feature_of<IFeature8070ColorLEDEffects>(rig, 0x8070);
    ASSERT_TRUE(fx);
    rig.model->clear_log();

    ASSERT_TRUE(rig.model->notify(0x8070, 0, {1, 2, 3, 4}));
    ASSERT_TRUE(eventually([&] { return version_reads(rig) >= 1; }, 5s));
    EXPECT_TRUE(within([&] { return fx->SupportsExtendedFunctions(); }, "SupportsExtendedFunctions"));
    EXPECT_EQ(version_reads(rig), 1u) << "the blocking reader asked again";
    ASSERT_TRUE(rig.model->notify(0x8070, 0, {1, 2, 3, 4}));
    EXPECT_TRUE(within([&] { return fx->SupportsExtendedFunctions(); }, "SupportsExtendedFunctions"));
    EXPECT_EQ(version_reads(rig), 1u);
}

TEST(Discovery, ListingTheFamilyWritesNothingOfItsOwn)
{
    auto config = platform::sim::sim_keyboard_config();
    const std::uint16_t ids[] = {0x8010, 0x8020, 0x8030, 0x8040, 0x8060, 0x8070, 0x8071, 0x807A, 0x8080,
                                 0x8081, 0x8090, 0x80A3, 0x80D0, 0x8100, 0x8110, 0x8111, 0x8120, 0x8123,
                                 0x8127, 0x8300, 0x8310, 0x8320, 0x8330, 0x8350, 0x8360, 0x8370};
    const std::size_t first = config.features.size();
    for (std::uint16_t id : ids)
        config.features.push_back({id, 0, 1});
    Rig rig(config);
    const auto listed = within([&] { return rig.device->discoverFeatures(); }, "discoverFeatures");
    std::size_t family = 0;
    for (const auto& f : listed)
        if (f && f->feature_id() >= 0x8000)
            ++family;
    EXPECT_EQ(family, std::size(ids));
    for (const Bytes& r : rig.model->written())
        EXPECT_LT(r[2], first) << "a report to a family feature";
}

} // namespace
