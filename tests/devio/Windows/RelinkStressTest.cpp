// A mouse behind a receiver unlinked and linked again with no pause in between, many times, with
// a setting written each time: every write that reported success reaches the mouse, sent at once
// or kept and re-applied after the link, and never waits for some later change of the device.
#include "ManagerTestSupport.h"
#include "support/Within.h"

#include "core/CDevio.h"
#include "core/Timing.h"
#include "device/IDevice.h"
#include "devices/SimHidReceiver.h"
#include "features/IFeature2005ButtonSwapCancel.h"
#include "quillon/ProductIds.h"

#include <sim/DeviceTree.h>
#include <sim/Kernel.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

namespace devio::test {
namespace {

using quillon::test::within;

// The mouse's disconnections, as the run loop delivers them.
struct Disconnects : Subscriber<IDevice::Connect> {
    std::mutex mutex;
    std::condition_variable changed;
    int count = 0;
    ~Disconnects() override { stop_deliveries(); }
    void onDisconnect(std::shared_ptr<IDevice>) override
    {
        std::lock_guard<std::mutex> lock(mutex);
        ++count;
        changed.notify_all();
    }
    bool wait_beyond(int seen)
    {
        std::unique_lock<std::mutex> lock(mutex);
        return changed.wait_for(lock, 20s, [&] { return count > seen; });
    }
    int seen()
    {
        std::lock_guard<std::mutex> lock(mutex);
        return count;
    }
};

// The mouse's connection events in order: "-" disconnected, "+" connected, then "kept" or
// "lost" for whether it kept its settings.
struct ConnectLog : Subscriber<IDevice::Connect> {
    std::mutex mutex;
    std::condition_variable changed;
    std::vector<std::string> events;
    ~ConnectLog() override { stop_deliveries(); }
    void onDisconnect(std::shared_ptr<IDevice>) override { add("-"); }
    void onConnect(std::shared_ptr<IDevice>) override { add("+"); }
    void onConnect(std::shared_ptr<IDevice>, bool kept) override { add(kept ? "kept" : "lost"); }
    void add(const char* event)
    {
        std::lock_guard<std::mutex> lock(mutex);
        events.push_back(event);
        changed.notify_all();
    }
    // Waits for one of `wanted` among the events from position `from` on; its position, or -1.
    int wait_for(std::size_t from, std::vector<std::string> wanted)
    {
        std::unique_lock<std::mutex> lock(mutex);
        int found = -1;
        changed.wait_for(lock, 20s, [&] {
            for (std::size_t i = from; i < events.size(); ++i)
                if (std::find(wanted.begin(), wanted.end(), events[i]) != wanted.end()) {
                    found = static_cast<int>(i);
                    return true;
                }
            return false;
        });
        return found;
    }
    std::size_t size()
    {
        std::lock_guard<std::mutex> lock(mutex);
        return events.size();
    }
    std::string text()
    {
        std::lock_guard<std::mutex> lock(mutex);
        std::string t;
        for (const auto& e : events)
            t += e + " ";
        return t;
    }
};

// True once the model holds `value` as its 0x2005 setting; false on the deadline.
bool holds(platform::sim::SimProtocolDevice& model, Byte value, std::chrono::milliseconds deadline)
{
    const auto end = std::chrono::steady_clock::now() + deadline;
    for (;;) {
        const std::size_t seen = model.write_count();
        const auto stored = model.answer_value(0x2005, 0);
        if (!stored.empty() && stored[0] == value)
            return true;
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(end - std::chrono::steady_clock::now());
        if (left.count() <= 0)
            return false;
        model.wait_for_writes(seen + 1, std::min<std::chrono::milliseconds>(left, 100ms));
    }
}

// True once the model took a cookie write (function 1 of the feature at `cookieIndex`) after its
// last write to `settingIndex`; false on the deadline.
bool settled(platform::sim::SimProtocolDevice& model, Byte settingIndex, Byte cookieIndex)
{
    const auto end = std::chrono::steady_clock::now() + 10s;
    for (;;) {
        const auto log = model.written();
        bool cookieAfter = false;
        for (const auto& w : log) {
            if (w.size() >= 4 && w[2] == settingIndex)
                cookieAfter = false;
            else if (w.size() >= 4 && w[2] == cookieIndex && (w[3] >> 4) == 1)
                cookieAfter = true;
        }
        if (cookieAfter)
            return true;
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(end - std::chrono::steady_clock::now());
        if (left.count() <= 0)
            return false;
        model.wait_for_writes(log.size() + 1, std::min<std::chrono::milliseconds>(left, 100ms));
    }
}

// The facade over a clean machine, with a mouse behind a receiver; torn down even after a
// failed assertion, so a failure never leaves the stack running into the program's exit.
class RelinkStress : public ::testing::Test {
protected:
    static constexpr std::uint16_t kPid = quillon::ids::kMouseA.productId;

    void SetUp() override
    {
        platform::sim::reset_machine();
        platform::sim::remove_all_dev_nodes();
        Timing::setScale(1, 50);
        receiver = std::make_unique<platform::sim::SimHidReceiver>(quillon::ids::kMiraReceiver[0], 0x1A2B3C4D);
        auto config = platform::sim::sim_mouse_config();
        config.product_id = kPid;
        config.features.push_back({0x2005, 0, 0});
        model = receiver->pair(1, config);
        ASSERT_NE(model, nullptr);
        CDevio& facade = CDevio::instance();
        ASSERT_TRUE(facade.setConfig(ConfigReceivers, true));
        manager = facade.get_or_create_manager();
        ASSERT_TRUE(manager);
        host = std::make_unique<LoopHost>(manager);
        ASSERT_TRUE(host->subscribed());
        ASSERT_TRUE(changes.subscribe(arrivals(), 0, ""));
        receiver->plug();
        mouse = changes.wait_for(Changes::key("+", TransportReceiver, kPid));
        ASSERT_TRUE(mouse);
    }
    void TearDown() override
    {
        if (mouse)
            disconnects.unsubscribe(mouse);
        changes.unsubscribe(arrivals());
        changes.clear();
        mouse.reset();
        host.reset();
        manager.reset();
        within([] {
            CDevio::instance().close();
            return 0;
        });
        receiver.reset();
        platform::sim::remove_all_dev_nodes();
        Timing::reset();
    }
    // A ping reply to another program (another software id) from the mouse in slot 1, on the
    // long collection, as one that was on its way when the link dropped.
    bool send_late_reply()
    {
        const Byte other = static_cast<Byte>(mouse->getSoftwareId() % 15 + 1);
        std::vector<Byte> late(20, 0);
        late[0] = 0x11;
        late[1] = 0x01;
        late[3] = static_cast<Byte>(0x10 | other);
        late[6] = 0x5A;
        return receiver->hid().send_input(late);
    }
    std::shared_ptr<Producer<IDeviceManager::ArrivalRemoval>> arrivals()
    {
        return std::static_pointer_cast<Producer<IDeviceManager::ArrivalRemoval>>(manager);
    }

    std::unique_ptr<platform::sim::SimHidReceiver> receiver;
    platform::sim::SimProtocolDevice* model = nullptr;
    std::shared_ptr<DeviceManager> manager;
    std::unique_ptr<LoopHost> host;
    Changes changes;
    Disconnects disconnects;
    std::shared_ptr<IDevice> mouse;
};

TEST_F(RelinkStress, AWriteKeptAfterARequestFailedForTheGoneMouseIsReappliedOnItsReturn)
{
    auto swap = std::dynamic_pointer_cast<IFeature2005ButtonSwapCancel>(mouse->getFeatureSync(0x2005));
    ASSERT_TRUE(swap);
    ASSERT_TRUE(swap->SetButtonSwapCancel(1));   // the configuration is marked
    ASSERT_TRUE(disconnects.subscribe(mouse, 0, "test"));
    receiver->receiver().unlink(1);
    ASSERT_TRUE(disconnects.wait_beyond(0));
    // A request that reaches the worker while the mouse is away fails there as gone. That tells
    // nothing about the mouse's settings: its cookie check on return must still find them kept.
    const Byte sw = static_cast<Byte>(mouse->getSoftwareId());
    auto read = mouse->send({0x10, 0xFF, swap->feature_index(), sw, 0, 0, 0}, 1, {}, nullptr, 0);
    const ErrorCode code = within([&] { return read->wait() ? 0u : last_error().code; }, "a read");
    EXPECT_EQ(code, 5u);
    ASSERT_TRUE(within([&] { return swap->SetButtonSwapCancel(7); }, "a write"));   // kept
    receiver->receiver().link(1);
    EXPECT_TRUE(holds(*model, 7, 10s)) << "the kept write was dropped as if the settings were lost";
}

TEST_F(RelinkStress, EveryWriteKeptWhileUnlinkedReachesAMouseRelinkedAtOnce)
{
    auto swap = std::dynamic_pointer_cast<IFeature2005ButtonSwapCancel>(mouse->getFeatureSync(0x2005));
    ASSERT_TRUE(swap);
    ASSERT_TRUE(swap->SetButtonSwapCancel(1));   // the configuration is marked
    ASSERT_TRUE(disconnects.subscribe(mouse, 0, "test"));

    auto cookie = mouse->getFeatureSync(0x0020);
    ASSERT_TRUE(cookie);
    const Byte cookieIndex = cookie->feature_index();
    // Each round keeps a write while the mouse is away and links it again at once, so the
    // reconnection's cookie check runs straight after the write was kept.
    constexpr int kRounds = 40;
    for (int round = 0; round < kRounds; ++round) {
        SCOPED_TRACE(round);
        const Byte value = static_cast<Byte>(2 + round);
        const int before = disconnects.seen();
        receiver->receiver().unlink(1);
        ASSERT_TRUE(disconnects.wait_beyond(before));
        ASSERT_TRUE(within([&] { return swap->SetButtonSwapCancel(value); }, "a write"));
        receiver->receiver().link(1);
        ASSERT_TRUE(holds(*model, value, 10s)) << "a kept write never reached the mouse";
        // The reconnection ends with the cookie written again; a blocking read queued after it
        // returns once nothing is left in flight for the next round's unlink to cut short.
        ASSERT_TRUE(settled(*model, swap->feature_index(), cookieIndex));
        bool on = false;
        ASSERT_TRUE(within([&] { return swap->GetButtonSwapCancel(&on); }, "a read"));
    }
}

// The receiver's link notices and the mouse's replies come through two collections, read by two
// threads: a reply the mouse sent just before its link dropped can reach the host after the notice
// of the loss. That reply must not cost the write kept for the mouse: the reconnection it sets off
// fails against the unlinked mouse, and the kept write is sent once the link is really back.
TEST_F(RelinkStress, AReplyArrivingAfterTheLinkLossNoticeDoesNotCostTheKeptWrite)
{
    auto swap = std::dynamic_pointer_cast<IFeature2005ButtonSwapCancel>(mouse->getFeatureSync(0x2005));
    ASSERT_TRUE(swap);
    ASSERT_TRUE(swap->SetButtonSwapCancel(1));   // the configuration is marked
    ConnectLog log;
    ASSERT_TRUE(log.subscribe(mouse, 0, "test"));
    receiver->receiver().unlink(1);
    ASSERT_GE(log.wait_for(0, {"-"}), 0) << log.text();
    ASSERT_TRUE(within([&] { return swap->SetButtonSwapCancel(7); }, "a write"));   // kept

    const std::size_t before = log.size();
    ASSERT_TRUE(send_late_reply());
    // The host takes the mouse as back and tries it; the unlinked mouse cannot answer.
    const int tried = log.wait_for(before, {"+"});
    ASSERT_GE(tried, 0) << log.text();
    const int ended = log.wait_for(static_cast<std::size_t>(tried) + 1, {"-", "kept", "lost"});
    ASSERT_GE(ended, 0) << log.text();

    const std::size_t relinked = log.size();
    receiver->receiver().link(1);
    EXPECT_TRUE(holds(*model, 7, 10s)) << "the kept write was dropped; events: " << log.text();
    EXPECT_GE(log.wait_for(relinked, {"kept", "lost"}), 0) << log.text();
    const std::string events = log.text();
    EXPECT_EQ(events.find("lost"), std::string::npos) << "the mouse was reported as having lost its settings: "
                                                      << events;
    log.unsubscribe(mouse);
}

// Many rounds of the same, the link coming back either once the late reply's reconnection has
// failed or at once, racing it; in some rounds the write comes after the late reply, when the
// host may take the mouse as back and send it: the receiver's answer then keeps it.
TEST_F(RelinkStress, KeptWritesSurviveLateRepliesAndQuickRelinks)
{
    auto swap = std::dynamic_pointer_cast<IFeature2005ButtonSwapCancel>(mouse->getFeatureSync(0x2005));
    ASSERT_TRUE(swap);
    ASSERT_TRUE(swap->SetButtonSwapCancel(1));   // the configuration is marked
    auto cookie = mouse->getFeatureSync(0x0020);
    ASSERT_TRUE(cookie);
    ConnectLog log;
    ASSERT_TRUE(log.subscribe(mouse, 0, "test"));
    constexpr int kRounds = 20;
    for (int round = 0; round < kRounds; ++round) {
        SCOPED_TRACE(round);
        const Byte value = static_cast<Byte>(2 + round);
        const std::size_t before = log.size();
        receiver->receiver().unlink(1);
        const int lost = log.wait_for(before, {"-"});
        ASSERT_GE(lost, 0) << log.text();
        const bool writeFirst = round % 3 != 1;
        if (writeFirst) {
            ASSERT_TRUE(within([&] { return swap->SetButtonSwapCancel(value); }, "a write"));
        }
        ASSERT_TRUE(send_late_reply());
        if (round % 2 == 0) {
            // A reply to the host's own last request can be as late as ours and take the mouse as
            // back first: ours then finds it back and sets nothing off. Either reply's try counts.
            const int tried = log.wait_for(static_cast<std::size_t>(lost) + 1, {"+"});
            ASSERT_GE(tried, 0) << log.text();
            ASSERT_GE(log.wait_for(static_cast<std::size_t>(tried) + 1, {"-", "kept", "lost"}), 0) << log.text();
        }
        if (!writeFirst) {
            ASSERT_TRUE(within([&] { return swap->SetButtonSwapCancel(value); }, "a write after the late reply"));
        }
        receiver->receiver().link(1);
        ASSERT_TRUE(holds(*model, value, 10s)) << "a kept write never reached the mouse; events: " << log.text();
        ASSERT_TRUE(settled(*model, swap->feature_index(), cookie->feature_index()));
        bool on = false;
        ASSERT_TRUE(within([&] { return swap->GetButtonSwapCancel(&on); }, "a read"));
    }
    EXPECT_EQ(log.text().find("lost"), std::string::npos) << log.text();
    log.unsubscribe(mouse);
}

} // namespace
} // namespace devio::test
