// The packed and stateful decoders of the gesture features, without a device.
#include "FakeDevice.h"

#include "features/Feature2201AdjustableDPI.h"
#include "features/Feature6500Gestures.h"
#include "features/Feature6501GestureTable.h"

#include <gtest/gtest.h>

#include <mutex>
#include <string>
#include <thread>

using namespace devio;

namespace {

using Bytes = std::vector<Byte>;
using G = Feature6500Gestures;
using Table = Feature6501GestureTable;

Bytes long_report(Bytes payload)
{
    payload.resize(16, 0);
    return payload;
}

G::GestureEvent event(int handler, std::uint16_t id, int kind, int a = 0, int b = 0, int c = 0, int d = 0,
                      int direction = 0)
{
    G::GestureEvent e;
    e.handler = handler;
    e.id = static_cast<G::GestureId>(id);
    e.kind = static_cast<G::EventType>(kind);
    e.a = a;
    e.b = b;
    e.c = c;
    e.d = d;
    e.direction = static_cast<G::Direction>(direction);
    return e;
}

std::string describe(const std::vector<G::GestureEvent>& events)
{
    std::string s;
    for (const auto& e : events)
        s += std::to_string(e.handler) + ":" + std::to_string(e.id) + "/" + std::to_string(e.kind) + " " +
             std::to_string(e.a) + "," + std::to_string(e.b) + "," + std::to_string(e.c) + "," +
             std::to_string(e.d) + " dir " + std::to_string(e.direction) + "\n";
    return s;
}

TEST(GestureWalk, PackedSubReports)
{
    struct Row {
        const char* name;
        Bytes payload;
        std::vector<G::GestureEvent> expected;
    };
    const std::vector<Row> rows = {
        {"tap then zero byte ends", long_report({0x71, 0x01, 0x10}), {event(G::TapEvent, 0x7101, 1)}},
        {"scroll then rotate",
         {0x78, 0x01, 0x25, 0x00, 0x05, 0xFF, 0xFB, 0x07, 0x7C, 0x02, 0x12, 0x00, 0x10, 0x00, 0x00, 0x00},
         {event(G::ScrollEvent, 0x7801, 2, 5, -5, 7), event(G::RotateEvent, 0x7C02, 1, 0, 0, 16, 16)}},
        {"three bytes publish nothing", {0x71, 0x01, 0x10}, {}},
        {"scroll end carries zeros", long_report({0x78, 0x02, 0x35, 0x00, 0x05, 0x00, 0x05, 0x09}),
         {event(G::ScrollEvent, 0x7802, 3)}},
        {"unknown id is skipped, walk goes on", long_report({0x78, 0x00, 0x10, 0x71, 0x01, 0x20}),
         {event(G::TapEvent, 0x7101, 2)}},
        // Data that would run past the payload ends the walk before it is read.
        {"record past the payload", {0x78, 0x01, 0x25, 0x00, 0x05}, {}},
        // Scroll data shorter than five bytes reads zeros for the rest.
        {"short scroll data", long_report({0x78, 0x01, 0x22, 0x00, 0x09}), {event(G::ScrollEvent, 0x7801, 2, 9)}},
        // A next offset of 16 or more ends the walk even when the payload is longer.
        {"next offset beyond 16", Bytes{0x71, 0x01, 0x0D, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 0x71, 0x01, 0x10},
         {event(G::TapEvent, 0x7101, 0)}},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        G::GestureState state;
        const auto events = G::decode_gestures(row.payload, state);
        EXPECT_EQ(describe(events), describe(row.expected));
    }
}

TEST(GestureWalk, SwipeDirectionAndZoomTotalsCarryOver)
{
    G::GestureState state;
    auto one = [&state](Bytes payload) {
        auto events = G::decode_gestures(long_report(std::move(payload)), state);
        EXPECT_EQ(events.size(), 1u);
        return events.empty() ? G::GestureEvent{} : events.front();
    };
    // dx = -3, dy = 3: a tie counts as horizontal.
    EXPECT_EQ(one({0x79, 0x02, 0x15, 0xFF, 0xFD, 0x00, 0x03, 0x00}).direction, G::Direction::Left);
    EXPECT_EQ(one({0x79, 0x02, 0x15, 0x00, 0x02, 0xFF, 0xF9, 0x00}).direction, G::Direction::Down);
    const auto end = one({0x79, 0x02, 0x35, 0x00, 0x09, 0x00, 0x09, 0x01});
    EXPECT_EQ(describe({end}), describe({event(G::SwipeEvent, 0x7902, 3, 0, 0, 0, 0, G::Direction::Down)}));
    EXPECT_EQ(one({0x7A, 0x41, 0x15, 0x00, 0x00, 0x00, 0x00, 0x00}).direction, G::Direction::Right);
    EXPECT_EQ(one({0x79, 0x04, 0x15, 0x00, 0x01, 0x00, 0x04, 0x00}).direction, G::Direction::Up);

    const std::vector<std::pair<Bytes, std::pair<int, int>>> zoom = {
        {{0x7B, 0x02, 0x12, 0x00, 0x64}, {100, 100}},
        {{0x7B, 0x02, 0x22, 0xFF, 0xE2}, {100, 70}},
        {{0x7B, 0x02, 0x22, 0x00, 0x05}, {100, 75}},
        {{0x7B, 0x02, 0x32, 0x7F, 0xFF}, {100, 75}},
        // Rotation keeps its own pair.
        {{0x7C, 0x02, 0x12, 0x00, 0x01}, {1, 1}},
        {{0x7B, 0x02, 0x20}, {100, 75}},
    };
    for (const auto& step : zoom) {
        const auto e = one(step.first);
        EXPECT_EQ(std::make_pair(e.c, e.d), step.second);
    }
}

TEST(GestureBitReader, FixedAndVariableWidths)
{
    struct Row {
        const char* name;
        Bytes data;
        unsigned count;
        bool isSigned;
        std::uint32_t expected;
    };
    const std::vector<Row> rows = {
        {"3 bits unsigned", {0x20}, 3, false, 1},
        {"3 bits signed, top bit set", {0xE0}, 3, true, 0xFFFFFFFFu},
        {"8 bits signed", {0xFF}, 8, true, 0xFFFFFFFFu},
        {"past the end reads zeros", {0x80}, 16, false, 0x8000},
        {"32 bits", {0x12, 0x34, 0x56, 0x78}, 32, true, 0x12345678},
        // Wider than 32: only the low 32 bits stay, with no shift past the value's width.
        {"40 bits keep the low 32", {0xAB, 0x12, 0x34, 0x56, 0x78}, 40, true, 0x12345678},
        {"variable: one group, zigzag 1", {0x20}, 0, true, 1},
        {"variable: one group unsigned", {0x20}, 0, false, 2},
        {"variable: two groups", {0x93}, 0, false, 1 + (3 << 3)},
        {"variable: zigzag negative", {0x30}, 0, true, 0xFFFFFFFEu},
        // Fifteen continued groups: the groups beyond 32 bits are dropped.
        {"variable: many groups", Bytes(8, 0xFF), 0, false, 0xFFFFFFFFu},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        GestureBitReader reader(row.data);
        EXPECT_EQ(reader.read(row.count, row.isSigned), row.expected);
    }
    const Bytes a5{0xA5};
    GestureBitReader reader(a5);
    EXPECT_EQ(reader.read(4, false), 0xAu);
    EXPECT_EQ(reader.read(4, false), 0x5u);
    EXPECT_EQ(reader.read(4, false), 0u);
}

Table table_of(std::initializer_list<Bytes> replies)
{
    Table t;
    for (const Bytes& r : replies)
        EXPECT_EQ(t.feed(r), 0u);
    return t;
}

TEST(GestureTable, EntriesPrefixesTemplatesAndEnd)
{
    {
        Table t = table_of({long_report({0x80, 0x05, 0x01, 0x00})});
        ASSERT_EQ(t.gestures.size(), 1u);
        EXPECT_EQ(t.gestures[0].gestureId, 5u);
        EXPECT_EQ(t.gestures[0].reportType, 7u);
        EXPECT_FALSE(t.gestures[0].enableCapable);
        EXPECT_TRUE(t.complete);
        EXPECT_TRUE(t.templates.empty());
        EXPECT_EQ(t.raw, (std::vector<std::uint16_t>{0x8005}));
    }
    {
        Table t = table_of({long_report({0x02, 0x01, 0x83, 0x02, 0x83, 0x04})});
        ASSERT_EQ(t.gestures.size(), 2u);
        EXPECT_EQ(t.gestures[0].gestureId, 0x0102u);
        EXPECT_TRUE(t.gestures[0].enableCapable && t.gestures[0].divertCapable);
        EXPECT_EQ(t.gestures[1].enableBit, 1u);
        EXPECT_EQ(t.gestures[1].reportType, 2u);
        EXPECT_EQ(t.enableMap, (std::vector<std::uint32_t>{0, 1}));
        EXPECT_FALSE(t.complete);
    }
    {
        // Format entry 0x4101 (length 1) and parameter 0x2202 (length 2) pushed as a template; the gesture
        // after the push inherits them before its own format entry 0x4303.
        Table t = table_of({long_report({0x41, 0x01, 0x22, 0x02, 0x04, 0x02, 0x43, 0x03, 0x61, 0x23, 0x80, 0x57})});
        ASSERT_EQ(t.gestures.size(), 1u);
        const auto& g = t.gestures[0];
        ASSERT_EQ(g.specs.size(), 2u);
        EXPECT_EQ(g.specs[0].id, 1u);
        EXPECT_EQ(g.specs[1].id, 3u);
        EXPECT_EQ(g.specs[1].length, 3u);
        EXPECT_EQ(g.specs[1].specIndex, 1u);
        ASSERT_EQ(g.params.size(), 1u);
        EXPECT_EQ(g.params[0].length, 2u);
        ASSERT_EQ(g.extras.size(), 1u);
        EXPECT_EQ(g.extras[0].tag, 256u);
        EXPECT_EQ(g.extras[0].value, 0x123u);
        EXPECT_EQ(g.reportType, 6u);
        EXPECT_EQ(t.specLengths, (std::vector<std::uint32_t>{1, 3}));
        EXPECT_EQ(t.templates.size(), 2u);
    }
    {
        Table t;
        EXPECT_EQ(t.feed(long_report({0x00})), 2u);
        EXPECT_EQ(t.feed({}), 2u);
        // Five bytes: two entries kept, then a lone byte.
        EXPECT_EQ(t.feed({0x80, 0x01, 0x80, 0x02, 0x80}), 56u);
        EXPECT_EQ(t.gestures.size(), 2u);
    }
}

TEST(GestureTable, ThousandEntriesFitWithoutGrowthOfState)
{
    Table t;
    for (int i = 0; i < 125; ++i) {
        Bytes reply;
        for (int j = 0; j < 8; ++j) {
            reply.push_back(0x83);
            reply.push_back(static_cast<Byte>(j));
        }
        ASSERT_EQ(t.feed(reply), 0u);
    }
    EXPECT_EQ(t.raw.size(), 1000u);
    EXPECT_EQ(t.gestures.size(), 1000u);
    EXPECT_EQ(t.divertMap.size(), 1000u);
}

Table decode_table()
{
    // Gestures: 0 id 5 (type 7, divert bit 0), 1 id 9, 2 id 0x14 (type 4), 3 id 0x5A (type 3), 4 id 1 (type 2).
    Table t = table_of({long_report({0x82, 0x05, 0x83, 0x09, 0x82, 0x14, 0x82, 0x5A, 0x82, 0x01, 0x22, 0x00, 0x21, 0x00})});
    t.indexWidthLoaded = true;
    t.indexWidth = 8;
    return t;
}

TEST(GestureNotifications, GestureReportsByType)
{
    struct Row {
        const char* name;
        std::uint32_t gesture;
        std::vector<std::uint8_t> widths;
        std::uint32_t lead;
        Bytes payload;
        Table::Handler handler;
        std::vector<int> values;
    };
    const std::vector<Row> rows = {
        {"dx dy without lead", 2, {8, 8}, 0, {0x13, 0x02, 0xFF, 0x02}, Table::DxDy, {1, -1, 2, 0, 0}},
        {"dx dy with lead", 2, {8, 8, 4}, 7, {0x24, 0x02, 0x05, 0xFF, 0x30}, Table::DxDy, {5, -1, 3, 0, 0}},
        {"finger start ignores lead", 3, {4}, 1, {0x13, 0x03, 0x12, 0x3F}, Table::FingerStart, {1, 2, 3, -1, 0}},
        {"finger progress", 3, {4}, 1, {0x23, 0x03, 0x12, 0x3F}, Table::FingerProgress, {1, 2, 3, -1, 0}},
        {"trigger xy with one width", 4, {4}, 0, {0x12, 0x04, 0xAB}, Table::TriggerXY, {10, 11, 0, 0, 0}},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        Table t = decode_table();
        t.gestures[row.gesture].fieldWidths = row.widths;
        t.gestures[row.gesture].leadValue = row.lead;
        const auto notices = t.decode_gesture_reports(row.payload);
        ASSERT_EQ(notices.size(), 1u);
        EXPECT_EQ(notices[0].handler, row.handler);
        EXPECT_EQ(notices[0].first, row.gesture);
        EXPECT_EQ(notices[0].id, t.gestures[row.gesture].gestureId);
        EXPECT_EQ(std::vector<int>(notices[0].values, notices[0].values + 5), row.values);
    }
}

TEST(GestureNotifications, GestureFieldAndSubReportWalk)
{
    Table t = decode_table();
    t.indexWidth = 3;
    t.divertMap = {0, 1};
    auto count = [&t](Bytes payload) { return t.decode_gesture_reports(payload).size(); };
    const auto one = t.decode_gesture_reports({0x11, 0x20});
    ASSERT_EQ(one.size(), 1u);
    EXPECT_EQ(one[0].first, 1u);
    EXPECT_EQ(one[0].handler, Table::Unknown);
    EXPECT_EQ(one[0].data, (Bytes{0x20}));
    EXPECT_EQ(count({0x11, 0xE0}), 0u); // field -1 is outside the map
    // Sub-reports follow each other directly: header, n bytes, next header.
    EXPECT_EQ(count({0x11, 0x20, 0x21, 0x00, 0x12, 0x20, 0x00}), 3u);
    EXPECT_EQ(count({0x12, 0x20}), 0u); // longer than the payload
    EXPECT_EQ(count({0x10, 0x20}), 0u); // n = 0 ends
    t.indexWidth = 0;
    EXPECT_EQ(t.decode_gesture_reports({0x11, 0x20}).at(0).first, 1u);
    t.indexWidthLoaded = false;
    EXPECT_EQ(count({0x11, 0x20}), 0u);
}

TEST(GestureNotifications, BitmapAndParameterReports)
{
    Table t;
    for (std::uint32_t i = 0; i < 11; ++i)
        t.enableMap.push_back(100 + i);
    t.divertMap = {7};
    t.paramLengths = {2, 1};
    auto flags = [](const std::vector<Table::Notice>& notices) {
        std::vector<std::pair<std::uint32_t, bool>> out;
        for (const auto& n : notices)
            out.emplace_back(n.second, n.flag);
        return out;
    };
    const auto enabled = t.decode_response(2, 5, {0x01, 0x01, 0x05, 0x04});
    EXPECT_EQ(flags(enabled), (std::vector<std::pair<std::uint32_t, bool>>{{108, false}, {110, true}}));
    EXPECT_EQ(enabled.at(0).first, 5u);
    EXPECT_EQ(enabled.at(0).handler, Table::Enabled);
    EXPECT_TRUE(t.decode_response(2, 5, {0x01, 0x00, 0xFF, 0xFF}).empty());
    EXPECT_TRUE(t.decode_response(2, 5, {0x01}).empty());
    // More pairs announced than the payload holds: only those present are read.
    EXPECT_EQ(t.decode_response(4, 5, {0x00, 0x09, 0x03, 0x01}).size(), 1u);
    EXPECT_TRUE(t.decode_response(3, 5, {0x00, 0x01, 0x01, 0x01}).empty());

    const auto params = t.decode_response(8, 2, {0x00, 0xAA, 0xBB, 0x01, 0xCC, 0xFF, 0x00, 0x11, 0x22});
    ASSERT_EQ(params.size(), 2u);
    EXPECT_EQ(params[0].second, 0u);
    EXPECT_EQ(params[0].data, (Bytes{0xAA, 0xBB}));
    EXPECT_EQ(params[1].data, (Bytes{0xCC}));
    EXPECT_TRUE(t.decode_response(8, 2, {}).empty());
    EXPECT_TRUE(t.decode_response(8, 2, {0x00, 0xAA}).empty()); // value past the payload
    EXPECT_TRUE(t.decode_response(8, 2, {0x05, 0xAA}).empty()); // unknown parameter
}

TEST(ResolutionList, Parse)
{
    struct Row {
        const char* name;
        Bytes payload;
        std::uint8_t sensor;
        std::uint32_t code;
        std::vector<unsigned short> list;
        std::uint32_t step;
    };
    const std::vector<Row> rows = {
        {"list and step", long_report({0x01, 0x03, 0x20, 0x00, 0x64, 0xE0, 0x32}), 1, 0, {800, 100}, 50},
        {"empty list", long_report({0x00}), 0, 0, {}, 0},
        {"another sensor", long_report({0x02, 0x03, 0x20}), 1, 56, {}, 0},
        {"seven pairs unclosed", {0x00, 1, 1, 1, 2, 0xE0, 3, 1, 4, 1, 5, 1, 6, 1, 7, 9}, 0, 56,
         {0x101, 0x102, 0x104, 0x105, 0x106, 0x107}, 3},
        {"short reply", {0x00, 0x01, 0x00}, 0, 2, {}, 0},
        {"even length ends without a zero pair", {0x00, 0x01, 0x00, 0x02, 0x00, 0x03}, 0, 56, {0x100, 0x200}, 0},
        {"odd length ends at the end", {0x00, 0x01, 0x00, 0x02, 0x00}, 0, 0, {0x100, 0x200}, 0},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        std::vector<unsigned short> list{9};
        std::uint32_t step = 77;
        EXPECT_EQ(Feature2201AdjustableDPI::parse_dpi_list(row.payload, row.sensor, list, step), row.code);
        EXPECT_EQ(list, row.list);
        EXPECT_EQ(step, row.step);
    }
}

} // namespace

namespace {

struct ZoomTotals : devio::IFeature6500Gestures::Report {
    std::mutex mutex;
    int last = 0;
    int count = 0;
    void OnGestureZoomEvent(GestureId, EventType, int, int, int, int current) override
    {
        std::lock_guard<std::mutex> lock(mutex);
        last = current;
        ++count;
    }
};

// The zoom total of 0x6500 is carried from report to report: reports decoded on two threads at
// once (the report thread and a DecodeReport caller) lose no step.
TEST(GestureWalk, ConcurrentDecodersKeepOneTotal)
{
    auto device = std::make_shared<devio::test::FakeDevice>();
    auto feature = std::dynamic_pointer_cast<IFeature6500Gestures>(make_feature(0x6500, 3, device));
    auto* base = dynamic_cast<Feature*>(feature.get());
    ASSERT_TRUE(feature && base);
    ZoomTotals totals;
    ASSERT_TRUE(dynamic_cast<Producer<IFeature6500Gestures::Report>&>(*feature).subscribe(&totals, 1));
    feature->DecodeReport(0, long_report({0x7B, 0x02, 0x12, 0x00, 0x00}));
    constexpr int kSteps = 2000;
    std::thread reports([&] {
        for (int i = 0; i < kSteps; ++i)
            base->onFeatureReport(0, long_report({0x7B, 0x02, 0x22, 0x00, 0x01}));
    });
    for (int i = 0; i < kSteps; ++i)
        feature->DecodeReport(0, long_report({0x7B, 0x02, 0x22, 0x00, 0x02}));
    reports.join();
    feature->DecodeReport(0, long_report({0x7B, 0x02, 0x32}));
    std::lock_guard<std::mutex> lock(totals.mutex);
    EXPECT_EQ(totals.count, 2 * kSteps + 2);
    EXPECT_EQ(totals.last, 3 * kSteps);
}

} // namespace
