// Enumeration end to end through the C interface: receivers found, their paired devices
// announced, arrival and removal followed.
#include "EngineTestSupport.h"

#include "devices/SimHidReceiver.h"

#include <gtest/gtest.h>
#include <sim/HidCollection.h>

#include <algorithm>

using namespace enginetest;
using platform::sim::SimHidReceiver;
using platform::sim::SimProtocolConfig;

namespace {

class EnumerationTest : public ::testing::Test {
protected:
    void SetUp() override { fresh_machine(); }

    static std::vector<std::uint64_t> of_type(const EventLog& log, std::uint32_t devType)
    {
        std::vector<std::uint64_t> out;
        for (std::uint64_t h : log.arrivals())
            if (info_of(h).DevType == devType)
                out.push_back(h);
        return out;
    }
};

SimProtocolConfig keyboard(const std::string& name = "Sim Keyboard")
{
    SimProtocolConfig c;
    c.name = name;
    return c;
}

TEST_F(EnumerationTest, NoReceiverCompletesAtOnce)
{
    EventLog log;
    EngineHost host(log);
    EXPECT_EQ(host.init_result(), 0);
    ASSERT_TRUE(log.wait_count(QV_EVENT_ENUMERATION_COMPLETE, 1));
    EXPECT_TRUE(log.arrivals().empty());
    const auto events = log.events();
    EXPECT_EQ(events.front().handle, 0u);
    EXPECT_EQ(events.front().value, 0u);
    // Once running, a second start is refused.
    EXPECT_EQ(QV_Init(&EventLog::callback, &log), QV_NOT_SUPPORTED);
}

TEST_F(EnumerationTest, ReceiverAndPairedDeviceAnnouncedBeforeCompletion)
{
    SimHidReceiver rx(0xC510, 0x11223344);
    rx.pair(1, keyboard());
    rx.plug();
    EventLog log;
    EngineHost host(log);
    ASSERT_TRUE(log.wait_count(QV_EVENT_ENUMERATION_COMPLETE, 1));
    const auto events = log.events();
    ASSERT_GE(events.size(), 3u);
    EXPECT_EQ(events[0].event, QV_EVENT_DEVICE_ARRIVAL);
    EXPECT_EQ(events[0].value, 0u);
    const std::uint64_t receiver = events[0].handle;
    EXPECT_LT(static_cast<std::int64_t>(receiver), 0) << "receiver handles are negative";

    const QV_DEVICE_INFO r = info_of(receiver);
    EXPECT_EQ(r.DevType, 0u);
    EXPECT_EQ(r.RadioType, 2);
    EXPECT_EQ(r.ModelID, 0x7E51C510u);
    EXPECT_EQ(text(r.Name), "Mira receiver [1]");
    EXPECT_EQ(r.Flags, 0x106);
    EXPECT_EQ(r.Battery, 1);
    EXPECT_EQ(r.DFUStatus, QV_DFU_NO_NEWER_FW);

    const auto paired = std::find_if(events.begin(), events.end(), [&](const Event& e) {
        return e.event == QV_EVENT_DEVICE_ARRIVAL && e.handle != receiver;
    });
    ASSERT_NE(paired, events.end());
    EXPECT_EQ(paired->value, receiver) << "a paired device's arrival carries its receiver";
    const auto complete = std::find_if(events.begin(), events.end(),
                                       [](const Event& e) { return e.event == QV_EVENT_ENUMERATION_COMPLETE; });
    EXPECT_LT(paired - events.begin(), complete - events.begin()) << "completion waits for announced devices";

    const QV_DEVICE_INFO d = info_of(paired->handle);
    EXPECT_EQ(d.Parent, receiver);
    EXPECT_EQ(text(d.Name), "Sim Keyboard");
    EXPECT_EQ(d.RadioStatus, 0);
    EXPECT_EQ(paired->handle >> 24 & 0xFF, 1u) << "paired handles carry the device index";
}

TEST_F(EnumerationTest, UnplugRemovesPairedDevicesFirst)
{
    SimHidReceiver rx(0xC530, 0x01020304);
    rx.pair(1, keyboard("Kbd One"));
    rx.pair(2, keyboard("Kbd Two"));
    rx.plug();
    EventLog log;
    EngineHost host(log);
    ASSERT_TRUE(log.wait_count(QV_EVENT_ENUMERATION_COMPLETE, 1));
    ASSERT_EQ(log.arrivals().size(), 3u);
    const std::uint64_t receiver = log.arrivals().front();
    EXPECT_EQ(text(info_of(receiver).SN), "01020304") << "Ravelin receivers read their serial";

    rx.unplug();
    ASSERT_TRUE(log.wait_count(QV_EVENT_DEVICE_REMOVAL, 3));
    std::vector<Event> removals;
    for (const auto& e : log.events())
        if (e.event == QV_EVENT_DEVICE_REMOVAL)
            removals.push_back(e);
    EXPECT_EQ(removals.back().handle, receiver);
    EXPECT_EQ(removals.back().value, 0u);
    for (std::size_t i = 0; i + 1 < removals.size(); ++i)
        EXPECT_NE(removals[i].value, 0u) << "paired devices carry their type";
    QV_DEVICE_INFO info;
    EXPECT_EQ(QV_GetDeviceInfo(static_cast<std::int64_t>(receiver), &info), QV_DEVICE_ERROR);
}

TEST_F(EnumerationTest, SeveralReceiversAndLateArrival)
{
    SimHidReceiver a(0xC510, 1);
    SimHidReceiver b(0xC520, 2);
    a.plug();
    b.plug();
    EventLog log;
    EngineHost host(log);
    ASSERT_TRUE(log.wait_count(QV_EVENT_ENUMERATION_COMPLETE, 1));
    EXPECT_EQ(of_type(log, 0).size(), 2u);

    SimHidReceiver c(0xC540, 3);
    c.pair(2, keyboard());
    c.plug();
    ASSERT_TRUE(log.wait_count(QV_EVENT_DEVICE_ARRIVAL, 4));
    const auto receivers = of_type(log, 0);
    ASSERT_EQ(receivers.size(), 3u);
    EXPECT_EQ(text(info_of(receivers.back()).Name), "Gaming Ravelin receiver [1]");
    EXPECT_EQ(log.count(QV_EVENT_ENUMERATION_COMPLETE), 1u);
}

TEST_F(EnumerationTest, SecondCollectionArrivingLaterCompletesTheReceiver)
{
    SimHidReceiver rx(0xC510, 7);
    rx.pair(1, keyboard());
    // Only the short collection first.
    auto collections = rx.hid().collections();
    ASSERT_EQ(collections.size(), 2u);
    collections[0]->plug();
    EventLog log;
    EngineHost host(log);
    ASSERT_TRUE(log.wait_count(QV_EVENT_ENUMERATION_COMPLETE, 1));
    EXPECT_TRUE(log.arrivals().empty()) << "the receiver needs both collections";
    collections[1]->plug();
    ASSERT_TRUE(log.wait_count(QV_EVENT_DEVICE_ARRIVAL, 2));
    EXPECT_EQ(of_type(log, 0).size(), 1u);
}

TEST_F(EnumerationTest, MissedAnnouncementIsAskedForAgain)
{
    // A long fallback: completion must come from the announcements of the second round, in which
    // the device already announced is announced again.
    fresh_machine(1);
    SimHidReceiver rx(0xC510, 9);
    rx.receiver().set_latency(std::chrono::milliseconds(2));
    rx.pair(1, keyboard("One"));
    rx.pair(2, keyboard("Two"));
    rx.receiver().set_missing_announcements(1);
    rx.plug();
    EventLog log;
    EngineHost host(log);
    ASSERT_TRUE(log.wait_count(QV_EVENT_ENUMERATION_COMPLETE, 1,
                               devio::Timing::scaledDuration(30000) - std::chrono::seconds(10)))
        << "completion waited for the fallback";
    EXPECT_EQ(log.arrivals().size(), 3u) << "the tick asks again before completion";
    std::size_t two = 0;
    for (std::uint64_t h : log.arrivals())
        two += text(info_of(h).Name) == "Two" ? 1 : 0;
    EXPECT_EQ(two, 1u);
}

// A discovery tick whose read of the connected devices goes unanswered has learnt nothing: the
// device reported before is still owed and asked for again, and completion waits for it. (On a
// loaded machine the tick's read lost its turn at the receiver, and completion came without it.)
TEST_F(EnumerationTest, TickThatCannotReadTheConnectedDevicesStillWaitsForThem)
{
    // Long enough a fallback that only the announcement can end the wait.
    fresh_machine(5);
    SimHidReceiver rx(0xC510, 0x51);
    rx.receiver().set_latency(std::chrono::milliseconds(2));
    rx.pair(1, keyboard());
    // The first round leaves the device out; every try of the tick's read of register 0x02 is lost.
    rx.receiver().set_missing_announcements(1);
    rx.receiver().drop_read_replies(0x02, 1, 3);
    rx.plug();
    EventLog log;
    EngineHost host(log);
    ASSERT_TRUE(log.wait_count(QV_EVENT_ENUMERATION_COMPLETE, 1));
    std::vector<std::uint64_t> before;
    for (const auto& e : log.events()) {
        if (e.event == QV_EVENT_ENUMERATION_COMPLETE)
            break;
        if (e.event == QV_EVENT_DEVICE_ARRIVAL)
            before.push_back(e.handle);
    }
    ASSERT_EQ(before.size(), 2u) << "completion waits for the device the receiver reported";
    EXPECT_EQ(text(info_of(before.back()).Name), "Sim Keyboard");
    EXPECT_GE(rx.receiver().register_reads(0x02), 4) << "the tick's read was tried and lost";
}

TEST_F(EnumerationTest, ForeignInterfacesAreIgnored)
{
    auto foreign = platform::sim::create_hid_collection(
        platform::sim::HidCollectionLayout::simple(0x1234, 0xC510, 0xFF00, 1, 0x10, 7));
    auto unknown = platform::sim::create_hid_collection(
        platform::sim::HidCollectionLayout::simple(0x7E51, 0x0001, 0xFF00, 1, 0x10, 7));
    // A receiver's collection whose path would not fit the engine's path fields is left alone.
    auto layout = platform::sim::HidCollectionLayout::simple(0x7E51, 0xC510, 0xFF00, 1, 0x10, 7);
    layout.path = "\\\\?\\hid#vid_7e51&pid_c510#" + std::string(240, 'a') + "#{4d1e55b2-f16f-11cf-88cb-001111000030}";
    auto overLong = platform::sim::create_hid_collection(layout);
    foreign->plug();
    unknown->plug();
    overLong->plug();
    EventLog log;
    EngineHost host(log);
    ASSERT_TRUE(log.wait_count(QV_EVENT_ENUMERATION_COMPLETE, 1));
    EXPECT_TRUE(log.arrivals().empty());
    EXPECT_EQ(foreign->open_handle_count(), 0u);
    EXPECT_EQ(unknown->open_handle_count(), 0u);
    EXPECT_EQ(overLong->open_handle_count(), 0u);
}

}  // namespace

namespace {

TEST_F(EnumerationTest, NoEventAfterShutdown)
{
    EventLog log;
    {
        EngineHost host(log);
        ASSERT_TRUE(log.wait_count(QV_EVENT_ENUMERATION_COMPLETE, 1));
    }
    const std::size_t before = log.events().size();
    SimHidReceiver rx(0xC510, 5);
    rx.plug();
    EXPECT_FALSE(log.wait_count(QV_EVENT_DEVICE_ARRIVAL, 1, std::chrono::milliseconds(300)));
    EXPECT_EQ(log.events().size(), before);
}

TEST_F(EnumerationTest, PairedDeviceNameIsCutAtFourteenCharacters)
{
    SimHidReceiver rx(0xC530, 6);
    rx.receiver().set_latency(std::chrono::milliseconds(2));
    rx.pair(4, keyboard("A keyboard with a long name"));
    rx.plug();
    EventLog log;
    EngineHost host(log);
    ASSERT_TRUE(log.wait_count(QV_EVENT_ENUMERATION_COMPLETE, 1));
    ASSERT_EQ(log.arrivals().size(), 2u);
    const QV_DEVICE_INFO d = info_of(log.arrivals().back());
    EXPECT_EQ(text(d.Name), "A keyboard wit");
    EXPECT_EQ(d.DevType, 2u) << "keyboard type from the notification";
    EXPECT_EQ(text(d.SN).size(), 16u) << "product id and four serial bytes";
}

}  // namespace

namespace {

TEST_F(EnumerationTest, MissingSystemLibraryStillStartsQuietly)
{
    platform::sim::set_module_absent("hid.dll", true);
    EventLog log;
    EngineHost host(log);
    EXPECT_EQ(host.init_result(), 0) << "the start result does not tell";
    EXPECT_FALSE(log.wait_count(QV_EVENT_ENUMERATION_COMPLETE, 1, std::chrono::milliseconds(200)));
    QV_DEVICE_INFO info;
    EXPECT_EQ(QV_GetDeviceInfo(-1, &info), 0);
    // The engine is not running: the next start tries again, and once running it stays so.
    platform::sim::set_module_absent("hid.dll", false);
    EXPECT_EQ(QV_Init(&EventLog::callback, &log), QV_SUCCESS);
    EXPECT_TRUE(log.wait_count(QV_EVENT_ENUMERATION_COMPLETE, 1));
    EXPECT_EQ(QV_Init(&EventLog::callback, &log), QV_NOT_SUPPORTED);
}

}  // namespace

namespace {

// Receivers coming and going quickly, some while they still announce their devices: every
// arrival is matched by one removal and the engine stays responsive.
TEST_F(EnumerationTest, PlugCyclesStress)
{
    SimHidReceiver rx(0xC530, 0x77);
    rx.receiver().set_latency(std::chrono::milliseconds(1));
    rx.pair(1, keyboard("One"));
    rx.pair(3, keyboard("Three"));
    EventLog log;
    EngineHost host(log);
    ASSERT_TRUE(log.wait_count(QV_EVENT_ENUMERATION_COMPLETE, 1));
    for (int cycle = 0; cycle < 15; ++cycle) {
        SCOPED_TRACE(cycle);
        rx.plug();
        // Every other cycle leaves before the devices are announced.
        if (cycle % 2 == 0)
            ASSERT_TRUE(log.wait_count(QV_EVENT_DEVICE_ARRIVAL, log.count(QV_EVENT_DEVICE_REMOVAL) + 3));
        else
            ASSERT_TRUE(log.wait_count(QV_EVENT_DEVICE_ARRIVAL, log.count(QV_EVENT_DEVICE_REMOVAL) + 1));
        rx.unplug();
        ASSERT_TRUE(log.wait([](const std::vector<Event>& all) {
            std::size_t in = 0, out = 0;
            for (const auto& e : all) {
                in += e.event == QV_EVENT_DEVICE_ARRIVAL;
                out += e.event == QV_EVENT_DEVICE_REMOVAL;
            }
            return in == out;
        })) << "arrivals and removals pair up";
    }
    QV_DEVICE_INFO info;
    for (std::uint64_t h : log.arrivals())
        EXPECT_EQ(QV_GetDeviceInfo(static_cast<std::int64_t>(h), &info), QV_DEVICE_ERROR);
}

}  // namespace

namespace {

// A receiver whose reads fail twice in a row (not with "not connected") is as good as gone: it
// is removed rather than read again and again.
TEST_F(EnumerationTest, ReadsFailingAgainAtOnceRemoveTheReceiver)
{
    SimHidReceiver rx(0xC510, 0x42);
    rx.plug();
    EventLog log;
    EngineHost host(log);
    ASSERT_TRUE(log.wait_count(QV_EVENT_ENUMERATION_COMPLETE, 1));
    ASSERT_EQ(log.arrivals().size(), 1u);
    const std::uint64_t receiver = log.arrivals().front();
    // Both at once: a report between them (the receiver still answers discovery) would start the count again.
    rx.hid().short_collection()->inject_read_error(ERROR_GEN_FAILURE, 2);
    ASSERT_TRUE(log.wait_for(QV_EVENT_DEVICE_REMOVAL, receiver, 0));
    QV_DEVICE_INFO info;
    EXPECT_EQ(QV_GetDeviceInfo(static_cast<std::int64_t>(receiver), &info), QV_DEVICE_ERROR);
}

}  // namespace
