// The provider with a scripted engine: each engine event, the pending receiver, and which
// devio devices it adopts.
#include "ProviderRig.h"

#include "cQVDevice.h"

#include "core/CDevio.h"
#include "device/IDevice.h"
#include "devices/SimHidDevice.h"
#include "devices/SimHidReceiver.h"
#include "quillon/ProductIds.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <optional>
#include <set>
#include <string>

namespace app::test {
namespace {

constexpr std::int64_t kReceiver = -0x10001;
constexpr std::int64_t kOther = -0x10002;

class Provider : public ::testing::Test {
protected:
    void SetUp() override
    {
        rig.engine->set_record(kReceiver, engine_record(0, 0xC520, "RQW_024_001_00012", "BL_001_005"));
        rig.engine->set_record(kOther, engine_record(0, 0xC530, "RQF_039_005_00018", "BL_001_008"));
        rig.start();
    }
    // Raises the event as an engine thread, then a marker; returns once the provider handled
    // both, so the events of the first are all in the log.
    std::vector<std::string> raise(std::int64_t handle, std::uint32_t event, std::uint64_t value)
    {
        const std::size_t before = rig.log.events().size();
        EXPECT_TRUE(rig.engine->raise(static_cast<std::uint64_t>(handle), event, value));
        EXPECT_TRUE(rig.engine->raise(0, QV_EVENT_ENUMERATION_COMPLETE, 0));
        EXPECT_TRUE(rig.log.wait_for_count([](const DfuEvent& e) { return e.event == DFU_EVENT_ENUMERATION_COMPLETE; },
                                           ++m_markers));
        std::vector<std::string> out;
        const auto events = rig.log.events();
        for (std::size_t i = before; i < events.size(); ++i)
            if (events[i].event != DFU_EVENT_ENUMERATION_COMPLETE)
                out.push_back(describe(events[i]));
        return out;
    }
    DFU_DEVICE arrive(std::int64_t handle)
    {
        raise(handle, QV_EVENT_DEVICE_ARRIVAL, 0);
        auto adapter = rig.provider->findEngineDevice(handle);
        return adapter ? adapter->handle() : 0;
    }

    ProviderRig rig;
    std::size_t m_markers = 0;
};

TEST_F(Provider, EngineEvents)
{
    using V = std::vector<std::string>;
    // Receivers and bootloaders are adopted; devices behind a receiver and unknown handles not.
    rig.engine->set_record(-3, engine_record(4, 0xAA20, "BOT_001_002_00003", "BL_001_005"));
    rig.engine->set_record(0x01000005, engine_record(2, 0x4001, "MPK_012_001_00033", ""));
    EXPECT_EQ(raise(kReceiver, QV_EVENT_DEVICE_ARRIVAL, 0), V{"arrival 0"});
    EXPECT_EQ(raise(-3, QV_EVENT_DEVICE_ARRIVAL, 0), V{"arrival 0"});
    EXPECT_EQ(raise(0x01000005, QV_EVENT_DEVICE_ARRIVAL, static_cast<std::uint64_t>(kReceiver)), V{});
    EXPECT_EQ(raise(-77, QV_EVENT_DEVICE_ARRIVAL, 0), V{});
    EXPECT_EQ(rig.provider->deviceCount(), 2u);

    const DFU_DEVICE receiver = rig.provider->findEngineDevice(kReceiver)->handle();
    EXPECT_EQ(rig.info(receiver).productId, 0xC520u);
    EXPECT_EQ(rig.info(rig.provider->findEngineDevice(-3)->handle()).inDfu, 1);

    struct Row {
        const char* name;
        std::uint32_t event;
        std::uint64_t value;
        V expected;
    };
    const Row rows[] = {
        {"progress", QV_EVENT_DFU_PROGRESS, 42, {"progress 42"}},
        {"update failed", QV_EVENT_DFU_STATUS_CHANGED, QV_DFU_FAILED, {"status 2"}},
        {"no newer firmware, no update running", QV_EVENT_DFU_STATUS_CHANGED, QV_DFU_NO_NEWER_FW, {}},
        {"newer firmware available", QV_EVENT_DFU_STATUS_CHANGED, QV_DFU_NEWER_FW_AVAILABLE, {}},
        {"in progress", QV_EVENT_DFU_STATUS_CHANGED, QV_DFU_IN_PROGRESS_STATUS, {}},
        {"critical error, no update running", QV_EVENT_DFU_STATUS_CHANGED, QV_DFU_CRITICAL_ERROR, {}},
        {"wireless status", QV_EVENT_WIRELESS_STATUS, 4, {}},
        {"battery check", QV_EVENT_DFU_BATTERY_CHECK, 1, {}},
        {"milestone", QV_EVENT_DFU_MILESTONE, 3, {}},
        {"an event beyond the table", 200, 1, {}},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        const auto texts = raise(kReceiver, row.event, row.value);
        EXPECT_EQ(texts, row.expected);
        for (const auto& e : rig.log.events())
            if (e.event != DFU_EVENT_ENUMERATION_COMPLETE && e.event != DFU_EVENT_DEVICE_ARRIVAL) {
                EXPECT_EQ(e.device, receiver);
            }
    }
    EXPECT_EQ(raise(-77, QV_EVENT_DFU_PROGRESS, 5), V{});
    EXPECT_EQ(raise(kReceiver, QV_EVENT_DEVICE_REMOVAL, 0), V{"removal 0"});
    EXPECT_FALSE(rig.provider->findDevice(receiver));
    EXPECT_EQ(raise(kReceiver, QV_EVENT_DEVICE_REMOVAL, 0), V{});
}

TEST_F(Provider, AnUpdateThatEndsWithoutSuccessFails)
{
    struct Row {
        const char* name;
        std::uint32_t status;
    };
    const Row rows[] = {
        {"critical error", QV_DFU_CRITICAL_ERROR},
        {"no newer firmware after the start", QV_DFU_NO_NEWER_FW},
        {"battery too low at the end", QV_DFU_NEWER_FW_AVAILABLE},
        {"no firmware update", QV_DFU_NO_FW_UPDATE},
        {"failed", QV_DFU_FAILED},
    };
    const DFU_DEVICE receiver = arrive(kReceiver);
    auto adapter = rig.provider->findDevice(receiver);
    const std::string image(64, 'h');
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        ASSERT_EQ(adapter->startReceiverUpdate(image.data(), 64, nullptr, 0), DFU_OK);
        EXPECT_EQ(raise(kReceiver, QV_EVENT_DFU_STATUS_CHANGED, QV_DFU_IN_PROGRESS_STATUS),
                  std::vector<std::string>{});
        EXPECT_EQ(raise(kReceiver, QV_EVENT_DFU_STATUS_CHANGED, row.status), std::vector<std::string>{"status 2"});
        // The update is over: the same status again says nothing more.
        if (row.status != QV_DFU_FAILED) {
            EXPECT_EQ(raise(kReceiver, QV_EVENT_DFU_STATUS_CHANGED, row.status), std::vector<std::string>{});
        }
    }
}

TEST_F(Provider, ASucceededReceiverIsClosedAfterItsPause)
{
    const DFU_DEVICE receiver = arrive(kReceiver);
    ASSERT_NE(receiver, 0u);
    EXPECT_EQ(raise(kReceiver, QV_EVENT_DFU_STATUS_CHANGED, QV_DFU_SUCCEEDED), std::vector<std::string>{});
    // Its removal while it is pending is swallowed.
    EXPECT_EQ(raise(kReceiver, QV_EVENT_DEVICE_REMOVAL, 0), std::vector<std::string>{});
    // 5000 ms, scaled down twentyfold.
    ASSERT_TRUE(rig.log.wait_for_event(receiver, DFU_EVENT_DEVICE_REMOVAL, 0));
    EXPECT_EQ(rig.log.of(receiver), (std::vector<std::string>{"arrival 0", "status 1", "removal 0"}));
    raise(-77, QV_EVENT_DFU_PROGRESS, 1);   // the provider is past closing it
    EXPECT_FALSE(rig.provider->findDevice(receiver));
}

TEST_F(Provider, AReturningReceiverClosesThePendingOneAtOnce)
{
    const DFU_DEVICE old = arrive(kReceiver);
    EXPECT_EQ(raise(kReceiver, QV_EVENT_DFU_STATUS_CHANGED, QV_DFU_SUCCEEDED), std::vector<std::string>{});
    // The receiver comes back in its application under a new handle.
    EXPECT_EQ(raise(kOther, QV_EVENT_DEVICE_ARRIVAL, 0),
              (std::vector<std::string>{"status 1", "removal 0", "arrival 0"}));
    EXPECT_EQ(rig.log.of(old), (std::vector<std::string>{"arrival 0", "status 1", "removal 0"}));
    EXPECT_EQ(rig.provider->deviceCount(), 1u);
}

TEST_F(Provider, ABootloaderArrivalKeepsTheReceiverPending)
{
    const DFU_DEVICE old = arrive(kReceiver);
    EXPECT_EQ(raise(kReceiver, QV_EVENT_DFU_STATUS_CHANGED, QV_DFU_SUCCEEDED), std::vector<std::string>{});
    rig.engine->set_record(-3, engine_record(4, 0xAA20, "BOT_001_002_00003", "BL_001_005"));
    EXPECT_EQ(raise(-3, QV_EVENT_DEVICE_ARRIVAL, 0), std::vector<std::string>{"arrival 0"});
    EXPECT_EQ(rig.log.of(old), std::vector<std::string>{"arrival 0"});
    ASSERT_TRUE(rig.log.wait_for_event(old, DFU_EVENT_DEVICE_REMOVAL, 0));
}

TEST(ProviderAdoption, ReceiversOnTheDevioStackAreLeftToTheEngine)
{
    ProviderRig rig;
    platform::sim::SimHidReceiver receiver(quillon::ids::kProviderReceiverIds[0], 0x1A2B3C4D);
    auto config = platform::sim::sim_keyboard_config();
    config.product_id = quillon::ids::kKeyboardB.productId;
    receiver.pair(1, config);
    receiver.plug();
    rig.start();
    ASSERT_NE(rig.arrival_of(quillon::ids::kKeyboardB.productId), 0u);
    for (const DfuEvent& e : rig.log.events()) {
        SCOPED_TRACE(describe(e));
        EXPECT_EQ(e.event, DFU_EVENT_DEVICE_ARRIVAL);
        EXPECT_EQ(rig.info(e.device).productId, quillon::ids::kKeyboardB.productId);
    }
    EXPECT_EQ(rig.provider->deviceCount(), 1u);
    rig.provider.reset();
}

// A fast keyboard and a slow one (each reply takes its latency) on USB, with a provider that
// keeps the real reply time-outs: the slow replies come late, but they come.
// Times a series of calls: the window's, which must never wait on a device.
struct CallTimer {
    template <class Call>
    void operator()(const Call& call)
    {
        const auto begin = std::chrono::steady_clock::now();
        call();
        longest = std::max(longest, std::chrono::steady_clock::now() - begin);
        ++calls;
    }
    long long longest_ms() const
    {
        return std::chrono::duration_cast<std::chrono::milliseconds>(longest).count();
    }
    std::chrono::steady_clock::duration longest{};
    int calls = 0;
};

class ArrivalRig {
public:
    static constexpr std::chrono::milliseconds kSlowLatency{300};

    ArrivalRig() : rig(1)
    {
        auto fast = platform::sim::sim_keyboard_config();
        fast.product_id = fast.model_ids[0] = kFastPid;
        fast.name = "Fast Board";
        fast.battery_level = fast.battery_critical = 10;   // an update stops at the battery check
        auto slow = platform::sim::sim_keyboard_config();
        slow.product_id = slow.model_ids[0] = kSlowPid;
        slow.name = "Slow Board";
        slow.latency = kSlowLatency;
        auto other = platform::sim::sim_keyboard_config();
        other.product_id = other.model_ids[0] = kOtherPid;
        m_fast.emplace(fast);
        m_slow.emplace(slow);
        m_other.emplace(other);
        rig.start();
    }
    ~ArrivalRig()
    {
        rig.provider.reset();
        m_fast.reset();
        m_slow.reset();
        m_other.reset();
    }
    platform::sim::SimHidProtocolDevice& fast() { return *m_fast; }
    platform::sim::SimHidProtocolDevice& slow() { return *m_slow; }
    platform::sim::SimHidProtocolDevice& other() { return *m_other; }
    // Whether the provider announced an adapter of this product id yet.
    bool announced(std::uint16_t productId)
    {
        for (const DfuEvent& e : rig.log.events())
            if (e.event == DFU_EVENT_DEVICE_ARRIVAL && rig.info(e.device).productId == productId)
                return true;
        return false;
    }
    // The adapters announced, leaving out the one of `except`.
    std::vector<DFU_DEVICE> arrivals_except(DFU_DEVICE except)
    {
        std::vector<DFU_DEVICE> out;
        for (const DfuEvent& e : rig.log.events())
            if (e.event == DFU_EVENT_DEVICE_ARRIVAL && e.device != except)
                out.push_back(e.device);
        return out;
    }

    static constexpr std::uint16_t kFastPid = quillon::ids::kKeyboardB.productId;
    static constexpr std::uint16_t kSlowPid = quillon::ids::kKeyboardC.productId;
    static constexpr std::uint16_t kOtherPid = quillon::ids::kKeyboardD.productId;
    ProviderRig rig;

private:
    std::optional<platform::sim::SimHidProtocolDevice> m_fast, m_slow, m_other;
};

TEST(ProviderArrival, ASlowDeviceArrivingHoldsUpNoCallOfTheWindow)
{
    using Clock = std::chrono::steady_clock;
    ArrivalRig a;
    a.fast().plug();
    const DFU_DEVICE fast = a.rig.arrival_of(ArrivalRig::kFastPid);
    ASSERT_NE(fast, 0u);

    const auto plugged = Clock::now();
    a.slow().plug();
    // The window's calls on each of its events, here on a heartbeat, until the slow one is in.
    CallTimer timed;
    const auto deadline = plugged + 60s;
    bool arrived = false;
    while (!arrived && Clock::now() < deadline) {
        timed([&] {
            const DFU_DEVICE_INFO info = a.rig.info(fast);
            EXPECT_EQ(info.productId, ArrivalRig::kFastPid);
        });
        timed([&] {
            DFU_DEVICE_ENTRY entry{};
            auto adapter = a.rig.provider->findDevice(fast);
            ASSERT_TRUE(adapter);
            EXPECT_EQ(adapter->getEntry(0, &entry), DFU_OK);
        });
        timed([&] { EXPECT_FALSE(a.rig.provider->findDevice(fast + 8)); });
        arrived = a.rig.log.wait_for([&](const DfuEvent& e) {
            return e.event == DFU_EVENT_DEVICE_ARRIVAL && e.device != fast;
        }, nullptr, 10ms);
    }
    ASSERT_TRUE(arrived);
    const auto building = Clock::now() - plugged;
    // The slow keyboard took seconds to read: the heartbeat ran all along.
    EXPECT_GT(building, 4 * ArrivalRig::kSlowLatency);
    EXPECT_GT(timed.calls, 3 * 10);
    EXPECT_LT(timed.longest_ms(), 100)
        << "the longest call took that many milliseconds";

    // And it was read in full, without the lock.
    const DFU_DEVICE slow = a.rig.arrival_of(ArrivalRig::kSlowPid);
    ASSERT_NE(slow, 0u);
    EXPECT_STREQ(a.rig.info(slow).name, "Slow Board");
    EXPECT_EQ(a.rig.info(slow).entityCount, 3u);
    EXPECT_EQ(a.rig.provider->deviceCount(), 2u);
}

TEST(ProviderArrival, AnUpdateGoesAheadWhileAnotherDeviceIsRead)
{
    ArrivalRig a;
    a.fast().plug();
    const DFU_DEVICE fast = a.rig.arrival_of(ArrivalRig::kFastPid);
    ASSERT_NE(fast, 0u);
    a.slow().plug();
    // The provider is reading the slow keyboard once its first request is out; its first
    // reply alone takes the latency.
    ASSERT_TRUE(a.slow().model().wait_for_writes(1, 20s));
    ASSERT_FALSE(a.announced(ArrivalRig::kSlowPid));
    // The user's update of the fast one runs its requests (up to the battery check) meanwhile.
    EXPECT_EQ(a.rig.start_update(fast, make_image(ArrivalRig::kFastPid, 64, 0x0200, 2)), DFU_ERR_LOW_BATTERY);
    EXPECT_FALSE(a.announced(ArrivalRig::kSlowPid)) << "the update waited for the other device";
    EXPECT_NE(a.rig.arrival_of(ArrivalRig::kSlowPid), 0u);
}

TEST(ProviderArrival, ADeviceRemovedWhileItIsReadLeavesNoAdapter)
{
    ArrivalRig a;
    a.slow().plug();
    ASSERT_TRUE(a.slow().model().wait_for_writes(1, 20s));
    a.slow().unplug();
    // The provider handles its events in order: once another device is in, the slow one's are done.
    a.other().plug();
    const DFU_DEVICE other = a.rig.arrival_of(ArrivalRig::kOtherPid);
    ASSERT_NE(other, 0u);
    EXPECT_EQ(a.rig.provider->deviceCount(), 1u);
    for (DFU_DEVICE gone : a.arrivals_except(other)) {
        SCOPED_TRACE(gone);
        EXPECT_EQ(a.rig.log.of(gone), (std::vector<std::string>{"arrival 0", "removal 0"}));
        EXPECT_FALSE(a.rig.provider->findDevice(gone));
    }
}

TEST(ProviderArrival, ADeviceAnnouncedTwiceGetsOneAdapter)
{
    ArrivalRig a;
    a.fast().plug();
    const DFU_DEVICE fast = a.rig.arrival_of(ArrivalRig::kFastPid);
    ASSERT_NE(fast, 0u);
    // As when the adoption step and the queued arrival both name a device that came meanwhile.
    const auto devices = devio::CDevio::instance().getDevices();
    ASSERT_EQ(devices.size(), 1u);
    a.rig.provider->onDeviceArrival(devices.front());
    EXPECT_EQ(a.rig.provider->deviceCount(), 1u);
    EXPECT_EQ(a.arrivals_except(0), std::vector<DFU_DEVICE>{fast});
    EXPECT_EQ(a.rig.log.of(fast), std::vector<std::string>{"arrival 0"});
}

// A slow keyboard behind a receiver that leaves and comes back: at each connection the adapter
// reads the device's firmware again, request by request, on the provider thread.
TEST(ProviderReconnection, ASlowDeviceReadAgainHoldsUpNoCallOfTheWindow)
{
    using Clock = std::chrono::steady_clock;
    struct Row {
        const char* name;
        std::uint16_t number;   // the application entity the device comes back with
        std::uint16_t build;
        const char* version;
    };
    const Row rows[] = {
        {"same firmware", 0x0102, 0x0033, "1.2.33"},
        {"firmware changed while it was away", 0x0305, 0x0044, "3.5.44"},
    };
    constexpr std::uint16_t kPid = quillon::ids::kKeyboardA.productId;
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        ProviderRig rig(1);
        std::optional<platform::sim::SimHidReceiver> receiver;
        receiver.emplace(quillon::ids::kMiraReceiver[0], 0x1A2B3C4D);
        auto config = platform::sim::sim_keyboard_config();
        config.product_id = config.model_ids[0] = kPid;
        config.name = "Slow Board";
        config.latency = ArrivalRig::kSlowLatency;
        platform::sim::SimProtocolDevice& model = *receiver->pair(1, config);
        receiver->plug();
        rig.start();
        const DFU_DEVICE slow = rig.arrival_of(kPid);
        ASSERT_NE(slow, 0u);
        auto adapter = rig.provider->findDevice(slow);
        ASSERT_TRUE(adapter);
        ASSERT_STREQ(rig.info(slow).version, "1.2.33");

        const auto connected = [&](const DfuEvent& e) { return e.device == slow && e.event == DFU_EVENT_CONNECTED; };
        const auto connections = [&] {
            const auto events = rig.log.events();
            return static_cast<std::size_t>(std::count_if(events.begin(), events.end(), connected));
        };
        const std::size_t connectionsBefore = connections();
        model.update_firmware(row.number, row.build);
        const auto cycled = Clock::now();
        model.power_cycle();

        // The window's calls on that very device, on a heartbeat, until it was read again.
        std::set<std::string> seen;   // the versions they found
        CallTimer timed;
        const auto readAgain = [&] {
            DFU_DEVICE_ENTRY entry{};
            return connections() > connectionsBefore && std::string(rig.info(slow).version) == row.version && adapter->getEntry(0, &entry) == DFU_OK &&
                   entry.version == row.number;
        };
        const auto deadline = cycled + 60s;
        bool done = false;
        while (!done && Clock::now() < deadline) {
            timed([&] {
                const DFU_DEVICE_INFO info = rig.info(slow);
                EXPECT_EQ(info.productId, kPid);
                seen.insert(info.version);
            });
            for (int index = 0; index < 3; ++index)
                timed([&] {
                    DFU_DEVICE_ENTRY entry{};
                    adapter->getEntry(index, &entry);
                });
            done = readAgain();
            if (!done)
                rig.log.wait_for_count(connected, connections() + 1, 10ms);
        }
        ASSERT_TRUE(done) << "the device was not read again";
        EXPECT_GT(Clock::now() - cycled, 4 * ArrivalRig::kSlowLatency);
        EXPECT_GT(timed.calls, 4 * 10);
        EXPECT_LT(timed.longest_ms(), 100)
            << "the longest call took that many milliseconds";
        // The window decides on what it reads: never a version half-way through the reading.
        for (const std::string& version : seen) {
            EXPECT_TRUE(version == "1.2.33" || version == row.version) << '"' << version << '"';
        }

        // What was read again, in full: the entity list rebuilt, nothing of before left over.
        const DFU_DEVICE_INFO info = rig.info(slow);
        EXPECT_EQ(info.online, 1);
        EXPECT_EQ(info.entityCount, 3u);
        EXPECT_EQ(info.unitId, config.unit_id);
        struct Entry {
            const char* prefix;
            std::uint16_t version;
            std::uint16_t build;
        };
        const Entry entries[] = {{"APP", row.number, row.build}, {"BOT", 0x0100, 0x0007}, {"HW ", 0x0001, 0}};
        for (int index = 0; index < 3; ++index) {
            SCOPED_TRACE("entry " + std::to_string(index));
            DFU_DEVICE_ENTRY entry{};
            EXPECT_EQ(adapter->getEntry(index, &entry), DFU_OK);
            EXPECT_STREQ(entry.prefix, entries[index].prefix);
            EXPECT_EQ(entry.version, entries[index].version);
            EXPECT_EQ(entry.build, entries[index].build);
        }
        DFU_DEVICE_ENTRY none{};
        EXPECT_EQ(adapter->getEntry(3, &none), DFU_ERR_NO_ENTRY);

        adapter.reset();
        rig.provider.reset();
        receiver.reset();
    }
}

TEST(ProviderLifecycle, EndingTheProviderShutsTheEngineDownAndClosesItsWindow)
{
    ProviderRig rig;
    rig.start();
    EXPECT_NE(rig.provider->window(), nullptr);
    EXPECT_EQ(rig.engine->inits(), 1);
    rig.provider->start();   // a second start does nothing
    rig.provider.reset();
    EXPECT_EQ(rig.engine->shutdowns(), 1);
    EXPECT_EQ(rig.engine->inits(), 1);
}

} // namespace
} // namespace app::test
