// Edges of the runtime pieces used across threads: deliveries racing subscription changes,
// chains nobody holds, continuations racing completion, timers outliving their run loop.
#include "CoreTestSupport.h"

#include "core/DataRequest.h"
#include "core/DeviceManager.h"
#include "core/DeviceRequest.h"
#include "core/Request.h"
#include "core/Timer.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <deque>
#include <thread>

using namespace devio;
using namespace devio::test;
using Clock = std::chrono::steady_clock;
using std::chrono::milliseconds;

namespace {

const std::vector<Byte> k_command{0x10, 0x01, 0x05, 0x2A};
const std::vector<Byte> k_reply{0x11, 0x01, 0x05, 0x2A, 0x07};

const milliseconds k_generous(5000);

} // namespace

// ---- events --------------------------------------------------------------------------------

TEST(CoreEventEdges, ProducerOutlivingItsRunLoopStillServesDirectSubscribers)
{
    auto manager = std::make_shared<DeviceManager>();
    manager->set_run_loop(manager);
    auto source = std::make_shared<Source>();
    source->set_run_loop(manager);
    Listener direct, queued;
    ASSERT_TRUE(direct.subscribe(source, 1, "direct"));
    ASSERT_TRUE(queued.subscribe(source, 0, "queued"));
    manager.reset();
    source->send(1);
    EXPECT_EQ(direct.seen, (std::vector<int>{1}));
    EXPECT_TRUE(queued.seen.empty());
    queued.unsubscribe(source); // nothing to flush any more
    EXPECT_EQ(source->subscriber_count(), 1u);
}

TEST(CoreEventEdges, LeavingAProducerWaitsOutItsRunningDirectDelivery)
{
    // A device leaves its hardware's producers in its destructor and relies on no reader-thread
    // delivery still running in it, or starting, once the unsubscribe has returned.
    auto source = std::make_shared<Source>();
    struct Guarded : Subscriber<ISource::Value> {
        std::atomic<bool> allowed{false};
        std::atomic<int> late{0};
        std::atomic<int> calls{0};
        void onValue(int) override
        {
            if (!allowed)
                ++late;
            std::this_thread::yield(); // widen the window of a delivery in flight
            if (!allowed)
                ++late;
            ++calls;
        }
    } guarded;
    std::atomic<bool> stop{false};
    std::thread publisher([&] {
        while (!stop)
            source->send(1);
    });
    for (int round = 0; round < 500; ++round) {
        guarded.allowed = true;
        ASSERT_TRUE(guarded.subscribe(source, 1, "guarded"));
        while (guarded.calls.load() == 0 && round == 0)
            std::this_thread::yield();
        guarded.unsubscribe(source);
        guarded.allowed = false;
    }
    stop = true;
    publisher.join();
    EXPECT_EQ(guarded.late.load(), 0);
    EXPECT_GT(guarded.calls.load(), 0);
}

// ---- requests ------------------------------------------------------------------------------

TEST(CoreRequestEdges, ChainsNobodyHoldsRunAndThenFreeThemselves)
{
    // Features hand a typed request over a device request to the caller, who may drop it: the
    // chain must still deliver, and let everything go afterwards (LeakSanitizer sees cycles).
    auto host = std::make_shared<FakeRequestHost>();
    auto owner = std::make_shared<int>(0);
    auto device = device_request(host, k_command);
    std::weak_ptr<DeviceRequest> weakDevice = device;
    std::weak_ptr<IDataRequest<int>> weakTyped;
    int seen = -1;
    {
        auto typed = DataRequest<int, IDeviceRequest, std::shared_ptr<IDeviceRequest>>::create(
            device, owner,
            [](std::shared_ptr<IDeviceRequest> r) {
                return r->check_response() ? make_data_success<int>(r->payload().at(0))
                                           : make_data_failure_from_error<int>();
            },
            "decoding test");
        typed->then(owner, [&](int* v) { seen = v ? *v : -2; return make_immediate_success(); }, "after");
        weakTyped = typed;
    }
    EXPECT_FALSE(weakTyped.expired()); // kept by its pending chain
    host->complete(device, k_reply);
    EXPECT_EQ(seen, -1); // continuation waits for the run loop
    while (host->run_continuation()) {
    }
    EXPECT_EQ(seen, 7);
    device.reset();
    EXPECT_TRUE(weakTyped.expired());
    EXPECT_TRUE(weakDevice.expired());

    // A plain chain of three, only its source held: completing it runs every step.
    auto source = std::make_shared<Request>(nullptr, RequestOwner{}, RequestContinuation{}, "source");
    int steps = 0;
    source->then(owner, [&](bool) { ++steps; return make_immediate_success(); }, "1")
        ->then(owner, [&](bool) { ++steps; return make_immediate_success(); }, "2")
        ->then(owner, [&](bool) { ++steps; return make_immediate_success(); }, "3");
    source->complete(ErrorRecord{});
    EXPECT_EQ(steps, 3);
}

TEST(CoreRequestEdges, ContinuationRacingTheCompletionOfADeviceRequestRunsOnce)
{
    // A feature registers its continuation right after queueing; the reply may complete the
    // request on the reader thread at the same moment.
    auto host = std::make_shared<FakeRequestHost>();
    auto owner = std::make_shared<int>(0);
    for (int round = 0; round < 300; ++round) {
        auto device = device_request(host, k_command);
        std::atomic<int> calls{0};
        std::atomic<bool> go{false};
        std::thread reader([&] {
            while (!go) {
            }
            host->complete(device, k_reply);
        });
        go = true;
        auto chained = device->then(owner, [&](std::shared_ptr<IDeviceRequest> r) {
            ++calls;
            return r->check_response() ? make_immediate_success() : make_immediate_failure_from_error();
        }, "c");
        reader.join();
        ASSERT_TRUE(chained->wait()) << "round " << round << " code " << last_error().code;
        while (host->run_continuation()) {
        }
        EXPECT_EQ(calls.load(), 1) << "round " << round;
    }
}

TEST(CoreRequestEdges, TwoThreadsWaitingOnOneChainBothSeeItsResult)
{
    auto host = std::make_shared<FakeRequestHost>();
    auto owner = std::make_shared<int>(0);
    for (int round = 0; round < 200; ++round) {
        auto device = device_request(host, k_command);
        std::atomic<int> calls{0};
        auto chained = device->then(owner, [&](std::shared_ptr<IDeviceRequest> r) {
            ++calls;
            return r->check_response() ? make_immediate_success() : make_immediate_failure_from_error();
        }, "c");
        std::atomic<int> ok{0};
        std::thread w1([&] { ok += chained->wait(); });
        std::thread w2([&] { ok += chained->wait(); });
        host->complete(device, {0x11, 0x01, 0xFF, 0x05, 0x2A, 0x03}); // error reply: 47
        w1.join();
        w2.join();
        EXPECT_EQ(ok.load(), 0);
        EXPECT_FALSE(chained->wait());
        EXPECT_EQ(last_error().code, 47u);
        EXPECT_EQ(last_error().detail, 3u);
        EXPECT_EQ(calls.load(), 1);
    }
}

// ---- timer ---------------------------------------------------------------------------------

TEST(CoreTimerEdges, OneEventPerStartAndAFullPeriodAfterStop)
{
    auto timer = std::make_shared<Timer>(std::weak_ptr<IRunLoopManager>(), 9);
    TimerRecorder r;
    ASSERT_TRUE(r.subscribe(std::static_pointer_cast<ITimer>(timer), 1, "test"));

    // A restart replaces the running period: one event.
    timer->start(60);
    timer->start(60);
    ASSERT_TRUE(r.wait_for(1, k_generous));
    EXPECT_FALSE(r.wait_for(2, milliseconds(150)));

    // Stopped in its first half, a kick is not ignored: it starts a full period.
    timer->start(10'000);
    timer->stop();
    const auto kicked = Clock::now();
    EXPECT_TRUE(timer->kick(100));
    ASSERT_TRUE(r.wait_for(2, k_generous));
    EXPECT_GE(Clock::now() - kicked, milliseconds(100));

    // Ending a timer in the middle of a long period does not wait the period out.
    timer->start(600'000);
    const auto t0 = Clock::now();
    std::weak_ptr<Timer> weak = timer;
    timer.reset();
    EXPECT_TRUE(weak.expired());
    EXPECT_LT(Clock::now() - t0, milliseconds(2000));
    EXPECT_EQ(r.count(), 2u);
}

TEST(CoreTimerEdges, TimerOutlivingItsRunLoopServesDirectSubscribersOnly)
{
    auto manager = std::make_shared<DeviceManager>();
    manager->set_run_loop(manager);
    auto timer = std::make_shared<Timer>(manager, 2);
    TimerRecorder direct, queued;
    ASSERT_TRUE(direct.subscribe(std::static_pointer_cast<ITimer>(timer), 1, "direct"));
    ASSERT_TRUE(queued.subscribe(std::static_pointer_cast<ITimer>(timer), 0, "queued"));
    timer->start(4);
    manager.reset(); // perhaps while the timer thread is already posting
    ASSERT_TRUE(direct.wait_for(1, k_generous));
    timer->stop(); // joined: its posts are over
    EXPECT_EQ(queued.count(), 0u);
    timer->start(2);
    ASSERT_TRUE(direct.wait_for(2, k_generous));
    timer.reset();
    EXPECT_EQ(queued.count(), 0u);
}
