// 0x6501 against a fake device that serves a gesture table: lazy loading, bit and parameter
// writes, batches, and notifications that depend on what was loaded.
#include "FakeDevice.h"

#include "core/Subscriber.h"
#include "features/Feature6501Gestures.h"
#include "features/FeatureRegistry.h"

#include <gtest/gtest.h>

#include <atomic>
#include <map>
#include <thread>

using namespace devio;
using devio::test::FakeDevice;

namespace {

using Bytes = std::vector<Byte>;

unsigned function_of(const Bytes& c) { return c[3] >> 4; }
Bytes params_of(const Bytes& c) { return Bytes(c.begin() + 4, c.end()); }

// A device with a gesture table: function 0 serves eight entries from the parameter's offset,
// functions 5 to 7 serve values by index, the writes answer with an empty record.
struct TableDevice {
    std::shared_ptr<FakeDevice> device = std::make_shared<FakeDevice>();
    std::shared_ptr<IFeature6501Gestures> feature;
    Bytes stream;
    std::map<unsigned, Bytes> specs;
    std::map<unsigned, Bytes> params;
    Byte bitmap = 0;
    std::atomic<int> table_reads{0};

    explicit TableDevice(std::vector<std::uint16_t> entries, bool end = true)
    {
        for (auto e : entries) {
            stream.push_back(Byte(e >> 8));
            stream.push_back(Byte(e));
        }
        if (end)
            stream.push_back(0x01);
        feature = std::dynamic_pointer_cast<IFeature6501Gestures>(make_feature(0x6501, 7, device));
        device->answer = [this](const Bytes& c) -> std::optional<Bytes> {
            auto r = respond(c);
            if (r.size() < 7)
                r.resize(7, 0); // a short report carries at least three payload bytes
            return r;
        };
    }

    Bytes respond(const Bytes& c)
    {
        {
            const Bytes p = params_of(c);
            switch (function_of(c)) {
            case 0: {
                ++table_reads;
                const std::size_t at = 2u * ((p.at(0) << 8) | p.at(1));
                Bytes slice;
                for (std::size_t i = at; i < at + 16 && i < stream.size(); ++i)
                    slice.push_back(stream[i]);
                slice.resize(16, 0);
                return FakeDevice::reply_to(c, slice);
            }
            case 1:
            case 3:
                return FakeDevice::reply_to(c, {bitmap, 0, 0});
            case 5:
                return FakeDevice::reply_to(c, specs.count(p.at(0)) ? specs[p.at(0)] : Bytes{0, 0, 0});
            case 6:
            case 7:
                return FakeDevice::reply_to(c, params.count(p.at(0)) ? params[p.at(0)] : Bytes{0, 0, 0});
            default:
                return FakeDevice::reply_to(c, {0, 0, 0});
            }
        }
    }

    std::vector<Bytes> sent(unsigned function)
    {
        std::vector<Bytes> out;
        for (const auto& s : device->log())
            if (function_of(s.command) == function)
                out.push_back(params_of(s.command));
        return out;
    }
};

// Ten gestures, every one enable and divert capable (ids 1..10), the table ending afterwards.
std::vector<std::uint16_t> ten_gestures()
{
    std::vector<std::uint16_t> entries;
    for (std::uint16_t id = 1; id <= 10; ++id)
        entries.push_back(static_cast<std::uint16_t>(0x8300 | id));
    return entries;
}

TEST(GestureTableOnDevice, LoadsLazilyAndStopsAtTheEnd)
{
    TableDevice t(ten_gestures());
    IFeature6501Gestures::GestureRecord record;
    ASSERT_TRUE(t.feature->GetGesture(2, &record));
    EXPECT_EQ(record.gestureId, 3u);
    EXPECT_EQ(t.table_reads.load(), 1);
    EXPECT_EQ(t.device->log().front().kind, 1u);
    ASSERT_TRUE(t.feature->GetGesture(9, &record));
    EXPECT_EQ(t.sent(0), (std::vector<Bytes>{{0x00, 0x00}, {0x00, 0x08}}));
    set_last_error(0);
    EXPECT_FALSE(t.feature->GetGesture(10, &record));
    EXPECT_EQ(last_error().code, 57u);
    std::uint32_t entry = 0;
    ASSERT_TRUE(t.feature->GetTableEntry(9, &entry));
    EXPECT_EQ(entry, 0x830Au);
    EXPECT_FALSE(t.feature->GetTableEntry(10, &entry));
    EXPECT_EQ(last_error().code, 57u);
    EXPECT_EQ(t.table_reads.load(), 2); // the end is read once and kept
}

TEST(GestureTableOnDevice, TableWithoutEndStopsAtAThousandEntries)
{
    std::vector<std::uint16_t> entries(1100, 0x4101); // described values only, no gesture
    TableDevice t(entries, false);
    EXPECT_FALSE(t.feature->GetGesture(0, nullptr));
    EXPECT_EQ(last_error().code, 56u);
    EXPECT_EQ(t.table_reads.load(), 125);
}

TEST(GestureTableOnDevice, BitWritesParametersAndTheirChecks)
{
    // Gesture 0: enable only; gestures 1..11: both; a parameter of length 2 and one of 15.
    std::vector<std::uint16_t> entries{0x8101};
    for (std::uint16_t id = 2; id <= 12; ++id)
        entries.push_back(static_cast<std::uint16_t>(0x8300 | id));
    entries.push_back(0x2202);
    entries.push_back(0x2F03);
    entries.push_back(0x8050);
    TableDevice t(entries);

    ASSERT_TRUE(t.feature->SetGestureEnabled(11, true, 0)); // enable bit 11
    EXPECT_EQ(t.sent(2).back(), (Bytes{0x01, 0x01, 0x08, 0x08}));
    ASSERT_TRUE(t.feature->SetGestureEnabled(1, false, 0));
    EXPECT_EQ(t.sent(2).back(), (Bytes{0x00, 0x01, 0x02, 0x00}));
    EXPECT_FALSE(t.feature->SetGestureDiverted(0, true, 0));
    EXPECT_EQ(last_error().code, 58u);
    t.bitmap = 0x02;
    bool on = false;
    ASSERT_TRUE(t.feature->GetGestureEnabled(1, &on, 0));
    EXPECT_TRUE(on);
    EXPECT_EQ(t.sent(1).back(), (Bytes{0x00, 0x01, 0x02}));

    t.device->clear_log();
    EXPECT_FALSE(t.feature->SetParamValue(0, {1, 2, 3}, 0));
    EXPECT_EQ(last_error().code, 59u);
    // Fifteen value bytes with the index and the end mark are more than a report carries.
    EXPECT_FALSE(t.feature->SetParamValue(1, Bytes(15, 0xAB), 0));
    EXPECT_EQ(last_error().code, 46u);
    EXPECT_FALSE(t.feature->SetParamValue(2, {1}, 0));
    EXPECT_EQ(last_error().code, 58u);
    EXPECT_TRUE(t.device->log().empty());
    ASSERT_TRUE(t.feature->SetParamValue(0, {0xAA, 0xBB}, 0));
    EXPECT_EQ(t.sent(8).back(), (Bytes{0x00, 0xAA, 0xBB, 0xFF}));

    t.params[0] = {0x11, 0x22, 0x33};
    t.params[1] = {0x44};
    Bytes value;
    ASSERT_TRUE(t.feature->GetParamValue(0, &value, 0));
    EXPECT_EQ(value, (Bytes{0x11, 0x22})); // cut to the parameter's length
    EXPECT_EQ(t.sent(7).back(), (Bytes{0x00, 0xFF}));
    ASSERT_TRUE(t.feature->GetParamStaticValue(1, &value, 0));
    EXPECT_EQ(value, (Bytes{0x44, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0})); // zero-filled
}

TEST(GestureTableOnDevice, Batches)
{
    std::vector<std::uint16_t> entries = ten_gestures();
    entries.insert(entries.begin() + 5, 0x2101); // parameter 0, one byte
    TableDevice t(entries);
    const std::uint32_t first = t.feature->BeginBatch();
    EXPECT_EQ(first, 1u);
    EXPECT_EQ(t.feature->BeginBatch(), 2u);

    // A batch read keeps the value; a later set of another gesture leaves it readable without a request.
    t.bitmap = 0x01;
    ASSERT_TRUE(t.feature->LoadGesturesEnabled(first, {0}));
    ASSERT_TRUE(t.feature->SetGestureEnabled(3, true, first));
    t.device->clear_log();
    bool on = false;
    ASSERT_TRUE(t.feature->GetGestureEnabled(0, &on, first));
    EXPECT_TRUE(on);
    ASSERT_TRUE(t.feature->GetGestureEnabled(3, &on, first));
    EXPECT_TRUE(on);
    ASSERT_TRUE(t.feature->SetParamValue(0, {0x42}, first));
    Bytes value;
    ASSERT_TRUE(t.feature->GetParamValue(0, &value, first));
    EXPECT_EQ(value, (Bytes{0x42}));
    EXPECT_TRUE(t.device->log().empty());

    ASSERT_TRUE(t.feature->CommitBatch(first));
    EXPECT_EQ(t.sent(2), (std::vector<Bytes>{{0x00, 0x01, 0x08, 0x08}}));
    EXPECT_EQ(t.sent(8), (std::vector<Bytes>{{0x00, 0x42, 0xFF}}));
    EXPECT_FALSE(t.feature->CommitBatch(first));
    EXPECT_EQ(last_error().code, 60u);
    EXPECT_FALSE(t.feature->SetGestureEnabled(0, true, 9));
    EXPECT_EQ(last_error().code, 60u);

    // A value of the wrong length fails at commit and leaves the batch open with the step undone.
    const std::uint32_t third = t.feature->BeginBatch();
    ASSERT_TRUE(t.feature->SetParamValue(0, {1, 2}, third));
    EXPECT_FALSE(t.feature->CommitBatch(third));
    EXPECT_EQ(last_error().code, 59u);
    ASSERT_TRUE(t.feature->SetParamValue(0, {7}, third));
    EXPECT_TRUE(t.feature->CommitBatch(third));
}

struct GestureLog : Subscriber<IFeature6501Gestures::GestureReport> {
    std::vector<std::string> events;
    void OnGestureDxDy(std::uint32_t g, IFeature6501Gestures::GestureId id, IFeature6501Gestures::EventType type,
                       int lead, int a, int b, int c, int d) override
    {
        events.push_back("dxdy " + std::to_string(g) + " " + std::to_string(id) + " " + std::to_string(type) + " " +
                         std::to_string(lead) + " " + std::to_string(a) + " " + std::to_string(b) + " " +
                         std::to_string(c) + " " + std::to_string(d));
    }
    void OnGestureDiverted(std::uint32_t sw, std::uint32_t g, bool on) override
    {
        events.push_back("diverted " + std::to_string(sw) + " " + std::to_string(g) + " " + std::to_string(on));
    }
};

TEST(GestureTableOnDevice, PreparedGestureReportsDecode)
{
    // Gesture 0 (id 0x14, report type 4) uses format entries 1 (index width), 2 (field widths) and 3 (lead).
    TableDevice t({0x4101, 0x4202, 0x4203, 0x8314});
    t.specs[0] = {0x08};
    t.specs[1] = {0x08, 0x08};
    t.specs[2] = {0x00, 0x00};
    auto* producer = dynamic_cast<Producer<IFeature6501Gestures::GestureReport>*>(t.feature.get());
    ASSERT_NE(producer, nullptr);
    GestureLog log;
    ASSERT_TRUE(producer->subscribe(&log, 1));
    auto* base = dynamic_cast<Feature*>(t.feature.get());

    // Nothing decodes before the gesture was prepared.
    base->onFeatureReport(0, {0x13, 0x00, 0xFF, 0x02});
    EXPECT_TRUE(log.events.empty());
    ASSERT_TRUE(t.feature->SetGestureDiverted(0, true, 0));
    EXPECT_EQ(t.sent(5), (std::vector<Bytes>{{0x00, 0xFF}, {0x01, 0xFF}, {0x02, 0xFF}}));
    base->onFeatureReport(0, {0x13, 0x00, 0xFF, 0x02});
    base->onUnexpectedResponse(4, 2, {0x00, 0x01, 0x01, 0x01});
    EXPECT_EQ(log.events, (std::vector<std::string>{"dxdy 0 20 1 1 -1 2 0 0", "diverted 2 0 1"}));
    producer->remove_subscriber(&log);
}

// Readers of the table on several threads while notifications are decoded: no race, one table.
TEST(GestureTableOnDevice, ConcurrentLoadsAndNotifications)
{
    std::vector<std::uint16_t> entries;
    for (int i = 0; i < 200; ++i)
        entries.push_back(static_cast<std::uint16_t>(0x8300 | (i & 0xFF)));
    TableDevice t(entries);
    auto* base = dynamic_cast<Feature*>(t.feature.get());
    std::atomic<bool> stop{false};
    std::thread reports([&] {
        while (!stop) {
            base->onFeatureReport(0, {0x12, 0x05, 0x07});
            base->onUnexpectedResponse(2, 1, {0x00, 0x01, 0xFF, 0xFF});
        }
    });
    std::vector<std::thread> readers;
    for (int r = 0; r < 3; ++r)
        readers.emplace_back([&] {
            for (std::uint32_t i = 0; i < 200; i += 17)
                EXPECT_TRUE(t.feature->GetGesture(i, nullptr));
        });
    for (auto& th : readers)
        th.join();
    stop = true;
    reports.join();
    std::uint32_t entry = 0;
    EXPECT_TRUE(t.feature->GetTableEntry(199, &entry));
    EXPECT_FALSE(t.feature->GetTableEntry(200, &entry));
}

} // namespace
