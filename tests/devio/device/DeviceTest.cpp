#include "DeviceTestSupport.h"

#include "core/ErrorRecord.h"
#include "features/Feature.h"

#include <chrono>
#include <functional>
#include <future>

using namespace devio;
using namespace devio::test;
using platform::sim::Bytes;

namespace {

Bytes header(const Bytes& r) { return Bytes(r.begin(), r.begin() + std::min<std::size_t>(r.size(), 4)); }

} // namespace

TEST(Device, DiscoveryAsksTargetSwThenPingsThenLooksUpFeatures)
{
    ScaledTiming timing;
    Rig rig;
    auto battery = rig.device->getFeatureSync(0x1000);
    ASSERT_TRUE(battery);
    EXPECT_EQ(battery->feature_index(), 5);

    const auto log = rig.model->written();
    ASSERT_GE(log.size(), 4u);
    EXPECT_EQ(log[0], (Bytes{0x10, 0xFF, 0x00, 0x11, 0x00, 0x00, 0x00}));  // TargetSw, software id 1
    EXPECT_TRUE(is_ping(log[1]));
    EXPECT_EQ(log[2], (Bytes{0x10, 0xFF, 0x00, 0x01, 0x00, 0x03}));  // GetFeature(FirmwareInfo)
    EXPECT_EQ(header(log.back()), (Bytes{0x10, 0xFF, 0x00, 0x01}));
    EXPECT_EQ(log.back()[4], 0x10);

    // Known now: no traffic, and Root answers for id 0.
    const std::size_t before = rig.model->write_count();
    EXPECT_EQ(rig.device->getFeatureSync(0x1000), battery);
    ASSERT_TRUE(rig.device->getFeatureSync(0x0000));
    EXPECT_EQ(rig.model->write_count(), before);
}

TEST(Device, ProtocolOneDeviceHasNoFeatures)
{
    ScaledTiming timing;
    Rig rig;
    rig.model->set_protocol10(true);
    EXPECT_FALSE(rig.device->getFeatureSync(0x0003));
    EXPECT_EQ(last_error().code, 22u);
    EXPECT_EQ(rig.model->write_count(), 1u);
    EXPECT_FALSE(rig.device->getFeatureSync(0x0005));
    EXPECT_EQ(last_error().code, 22u);
    EXPECT_EQ(rig.model->write_count(), 1u);
}

TEST(Device, AbsentFeatureIsRememberedAndCountBoundsIndices)
{
    ScaledTiming timing;
    Rig rig;
    EXPECT_FALSE(rig.device->getFeatureSync(0x4321));
    EXPECT_EQ(last_error().code, 30u);
    const std::size_t before = rig.model->write_count();
    EXPECT_FALSE(rig.device->getFeatureSync(0x4321));
    EXPECT_EQ(last_error().code, 30u);
    EXPECT_EQ(rig.model->write_count(), before);

    EXPECT_EQ(rig.device->getFeatureCountSync(), 8u);  // 7 listed + Root
    const auto features = rig.device->discoverFeatures();
    ASSERT_EQ(features.size(), 8u);
    const std::uint32_t ids[8] = {0x0000, 0x0001, 0x0003, 0x0005, 0x0020, 0x1000, 0x1D4B, 0x00C2};
    for (std::size_t i = 0; i < 8; ++i) {
        EXPECT_EQ(features[i]->feature_id(), ids[i]) << i;
        EXPECT_EQ(features[i]->feature_index(), i);
    }
    EXPECT_FALSE(rig.device->getFeatureByIndexSync(8));
    EXPECT_EQ(last_error().code, 30u);
    // Everything known: an absent id fails without traffic.
    const std::size_t known = rig.model->write_count();
    EXPECT_FALSE(rig.device->getFeatureSync(0x2201));
    EXPECT_EQ(rig.model->write_count(), known);
}

TEST(Device, SilentDeviceGetsOneWriteTwoPingsThenQuarantine)
{
    ScaledTiming timing(30);  // replies time out after 100 ms
    Rig rig;
    ConnectLog events;
    ASSERT_TRUE(events.subscribe(std::shared_ptr<IDevice>(rig.device), 1, "test"));
    ASSERT_TRUE(rig.device->getFeatureSync(0x0020));
    // A quarantine of 30 scaled seconds, one real second: the checks made inside it must not
    // outlast it on a loaded machine (33 ms did).
    rig.device->set_parameters(9, 2, 30);
    rig.model->set_silent(true);
    rig.model->clear_log();

    Bytes reply;
    EXPECT_FALSE(rig.device->execute({0x10, 0xFF, 0x04, 0x01}, reply, 0, {}));
    EXPECT_EQ(last_error().code, 4u);
    const auto log = rig.model->written();
    ASSERT_EQ(log.size(), 3u);
    EXPECT_EQ(header(log[0]), (Bytes{0x10, 0xFF, 0x04, 0x01}));
    EXPECT_TRUE(is_ping(log[1]));
    EXPECT_TRUE(is_ping(log[2]));
    EXPECT_TRUE(events.wait_for("unresponsive"));
    EXPECT_TRUE(rig.device->is_unresponsive());

    // While quarantined every request fails at once, without traffic.
    EXPECT_FALSE(rig.device->execute({0x10, 0xFF, 0x04, 0x01}, reply, 0, {}));
    EXPECT_EQ(last_error().code, 4u);
    EXPECT_EQ(rig.model->write_count(), 3u);
    EXPECT_TRUE(events.wait_for("unresponsive-timeout"));
    EXPECT_FALSE(rig.device->is_unresponsive());
}

TEST(Device, BusyDeviceGetsTenWritesWithGrowingBackOff)
{
    ScaledTiming timing(20);
    Rig rig;
    ASSERT_TRUE(rig.device->getFeatureSync(0x0020));
    rig.model->clear_log();
    rig.model->set_busy(100);

    const auto start = std::chrono::steady_clock::now();
    Bytes reply;
    EXPECT_FALSE(rig.device->execute({0x10, 0xFF, 0x04, 0x01}, reply, 0, {}));
    const auto elapsed = std::chrono::steady_clock::now() - start;
    EXPECT_EQ(last_error().code, 4u);
    std::size_t requests = 0, pings = 0;
    for (const auto& r : rig.model->written())
        (is_ping(r) ? pings : requests) += 1;
    EXPECT_EQ(requests, 10u);
    EXPECT_EQ(pings, 9u);
    // 20 + 40 + ... + 5120 ms of back-off, scaled to a twentieth.
    EXPECT_GE(elapsed, std::chrono::milliseconds(511));
    EXPECT_FALSE(rig.device->is_unresponsive());
}

TEST(Device, PingAnsweredTwiceStillEndsWithBackOff)
{
    ScaledTiming timing(50);
    Rig rig;
    ASSERT_TRUE(rig.device->getFeatureSync(0x0020));
    rig.model->set_double_ping_replies(true);
    rig.model->set_busy(100);
    rig.model->clear_log();
    Bytes reply;
    EXPECT_FALSE(rig.device->execute({0x10, 0xFF, 0x04, 0x01}, reply, 0, {}));
    EXPECT_EQ(last_error().code, 4u);
    EXPECT_LT(rig.model->write_count(), 60u);
}

TEST(Device, OwnSoftwareIdInAnUnrelatedReportMovesToTheLeastRecentId)
{
    ScaledTiming timing;
    Rig rig;
    ASSERT_TRUE(rig.device->getFeatureSync(0x0020));
    rig.model->set_unsolicited_before_reply(1);  // our own id
    Bytes reply;
    EXPECT_TRUE(rig.device->execute({0x10, 0xFF, 0x04, 0x01}, reply, 0, {}));
    rig.model->set_unsolicited_before_reply(-1);
    rig.model->clear_log();
    EXPECT_TRUE(rig.device->execute({0x10, 0xFF, 0x04, 0x01}, reply, 0, {}));
    const auto log = rig.model->written();
    ASSERT_EQ(log.size(), 2u);
    EXPECT_TRUE(is_ping(log[0]));
    EXPECT_EQ(log[0][3] & 0x0F, 15);
    EXPECT_EQ(log[1][3], 0x0F);
    EXPECT_EQ(rig.device->getSoftwareId(), 15u);
}

TEST(Device, CollisionBeforeAWriteFailsThatAttemptAndRetriesUnderANewId)
{
    ScaledTiming timing(30);  // replies time out after 100 ms
    Rig rig;
    ASSERT_TRUE(rig.device->getFeatureSync(0x0020));
    ASSERT_EQ(rig.device->getSoftwareId(), 1u);
    std::mutex mutex;
    std::vector<Bytes> seen;
    bool dropped = false, injected = false;
    auto model = rig.model;
    rig.hardware->set_write_hook([&, model](const Bytes& r) {
        std::lock_guard<std::mutex> lock(mutex);
        seen.push_back(r);
        if (!dropped && r[2] == 0x04) {
            dropped = true;  // lost: the time-out asks for a firmware check before the next try
            return false;
        }
        if (!injected && r[2] == 0x02 && (r[3] >> 4) == 1) {
            injected = true;
            // Another program's report with our id, ahead of the firmware-check reply.
            Bytes other(20, 0);
            other[0] = 0x11;
            other[1] = 0xFF;
            other[2] = 0x02;
            other[3] = 0x21;
            model->inject(other);
        }
        return true;
    });
    Bytes reply;
    EXPECT_TRUE(rig.device->execute({0x10, 0xFF, 0x04, 0x01}, reply, 0, {}));
    rig.hardware->set_write_hook(nullptr);

    std::lock_guard<std::mutex> lock(mutex);
    ASSERT_EQ(seen.size(), 6u) << ::testing::PrintToString(seen);
    EXPECT_EQ(header(seen[0]), (Bytes{0x10, 0xFF, 0x04, 0x01}));
    EXPECT_TRUE(is_ping(seen[1]));
    EXPECT_EQ(header(seen[2]), (Bytes{0x10, 0xFF, 0x02, 0x01}));  // firmware check
    EXPECT_EQ(header(seen[3]), (Bytes{0x10, 0xFF, 0x02, 0x11}));
    // The attempt after the collision wrote nothing; the probe moved to the least recent id.
    EXPECT_TRUE(is_ping(seen[4]));
    EXPECT_EQ(seen[4][3] & 0x0F, 15);
    EXPECT_EQ(header(seen[5]), (Bytes{0x10, 0xFF, 0x04, 0x0F}));
    EXPECT_EQ(reply[3], 0x0F);
}

TEST(Device, NewerEqualSettingsMergeIntoTheOldestQueuedRequest)
{
    ScaledTiming timing(10);
    Rig rig;
    ASSERT_TRUE(rig.device->getFeatureSync(0x0020));
    rig.model->set_latency(std::chrono::milliseconds(100));  // keeps the worker busy with the first
    auto always = [](const std::vector<Byte>&, const std::vector<Byte>&) { return true; };
    const std::size_t before = rig.model->write_count();
    auto first = rig.device->send({0x10, 0xFF, 0x01, 0x01}, 0, {}, nullptr, 0);
    ASSERT_TRUE(rig.model->wait_for_writes(before + 1, 5s));
    auto b = rig.device->send({0x10, 0xFF, 0x04, 0x11, 0x00, 0x01}, 0, {}, always, 0);
    auto c = rig.device->send({0x10, 0xFF, 0x04, 0x11, 0x00, 0x02}, 0, {}, always, 0);
    EXPECT_EQ(b->command()[5], 0x02);  // the oldest match took the newer command
    auto d = rig.device->send({0x10, 0xFF, 0x04, 0x11, 0x00, 0x03}, 0, {}, always, 0);
    EXPECT_EQ(b->command()[5], 0x03);
    EXPECT_FALSE(c->wait());
    EXPECT_EQ(last_error().code, 80u);
    EXPECT_TRUE(first->wait());
    EXPECT_TRUE(b->wait());
    EXPECT_TRUE(d->wait());
    EXPECT_EQ(rig.model->config_cookie(), 0x0003);
}

TEST(Device, VanishingMidRequestFailsInsteadOfHanging)
{
    ScaledTiming timing;
    Rig rig;
    ASSERT_TRUE(rig.device->getFeatureSync(0x0020));
    rig.model->vanish_on_next_request();
    Bytes reply;
    EXPECT_FALSE(rig.device->execute({0x10, 0xFF, 0x04, 0x01}, reply, 0, {}));
    EXPECT_EQ(last_error().code, 5u);
    EXPECT_FALSE(rig.device->execute({0x10, 0xFF, 0x04, 0x01}, reply, 0, {}));
    EXPECT_EQ(last_error().code, 5u);
}

TEST(Device, DeviceMayDieWhileItsWorkerHoldsIt)
{
    ScaledTiming timing;
    std::shared_ptr<IDeviceRequest> request;
    {
        Rig rig;
        ASSERT_TRUE(rig.device->getFeatureSync(0x0020));
        rig.model->set_latency(std::chrono::milliseconds(50));
        const std::size_t before = rig.model->write_count();
        request = rig.device->send({0x10, 0xFF, 0x04, 0x01}, 0, {}, nullptr, 0);
        ASSERT_TRUE(rig.model->wait_for_writes(before + 1, 5s));
        // Only the worker keeps the device alive now; it must end on the worker thread.
        std::weak_ptr<Device> weak = rig.device;
        rig.device.reset();
        for (int i = 0; i < 1000 && !weak.expired(); ++i)
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        EXPECT_TRUE(weak.expired());
    }
    EXPECT_TRUE(request->is_complete());
}

// A Connect while the device still talks is put off by the firmware-check timer. That timer can
// fire just as the device leaves, its event queued on the run loop before or after the loss.
// Either way the device is gone: the event must not report it as connected again.
TEST(Device, APutOffConnectFiringAsTheDeviceLeavesDoesNotBringItBack)
{
    const std::string leave = "SimHardwareDevice::Connect::onDisconnect";
    const std::string fire = "Timer::TimerEvent::onTimerEvent";
    struct Row {
        const char* name;
        bool fireFirst;
    };
    for (const Row& row : {Row{"the timer fires after the loss was queued", false},
                           Row{"the timer fires before the loss was queued", true}}) {
        SCOPED_TRACE(row.name);
        ScaledTiming timing(2);   // talking = a report within the last 500 ms; the timer runs 500 ms
        Rig rig;
        ConnectLog events;
        ASSERT_TRUE(events.subscribe(std::shared_ptr<IDevice>(rig.device), 1, "test"));
        // Runs a task on the run loop and waits until it has run, with everything queued before it.
        auto drain = [&] {
            auto done = std::make_shared<std::promise<void>>();
            rig.manager->post(
                [done] {
                    done->set_value();
                    return false;
                },
                nullptr, nullptr, "test");
            return done->get_future().wait_for(10s) == std::future_status::ready;
        };

        ASSERT_TRUE(rig.device->getFeatureSync(0x0020));   // the device has just talked
        rig.hardware->announce_connect();
        ASSERT_TRUE(drain());
        ASSERT_TRUE(events.events().empty()) << "the Connect was not put off: "
                                             << ::testing::PrintToString(events.events());

        // Hold the run loop while the device leaves and the timer fires, in the row's order.
        std::promise<void> open;
        auto opened = open.get_future().share();
        std::promise<void> held;
        rig.manager->post(
            [opened, &held] {
                held.set_value();
                opened.wait_for(10s);
                return false;
            },
            nullptr, nullptr, "gate");
        ASSERT_EQ(held.get_future().wait_for(10s), std::future_status::ready);
        const auto queued = [&](std::size_t n) { return [&, n] { return rig.manager->queued_names().size() >= n; }; };
        bool inOrder = false;
        if (row.fireFirst) {
            inOrder = eventually(queued(1));
            rig.model->disappear();
        } else {
            rig.model->disappear();
            inOrder = eventually(queued(1));
        }
        inOrder = inOrder && eventually(queued(2));
        const auto names = rig.manager->queued_names();
        open.set_value();
        ASSERT_TRUE(inOrder);
        ASSERT_EQ(names, row.fireFirst ? (std::vector<std::string>{fire, leave}) : (std::vector<std::string>{leave, fire}));
        ASSERT_TRUE(drain());
        EXPECT_EQ(events.events(), (std::vector<std::string>{"disconnect"}));

        // Its real return is a connection as usual.
        events.clear();
        rig.model->power_cycle();
        EXPECT_TRUE(events.wait_for("connect(false)")) << ::testing::PrintToString(events.events());
        const auto back = events.events();
        ASSERT_GE(back.size(), 2u);
        EXPECT_EQ(std::vector<std::string>(back.end() - 2, back.end()),
                  (std::vector<std::string>{"connect", "connect(false)"}));
    }
}
