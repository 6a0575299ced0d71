#include "CoreTestSupport.h"

#include "core/DeviceManager.h"
#include "core/Timer.h"

#include <gtest/gtest.h>

#include <chrono>
#include <condition_variable>
#include <mutex>
#include <system_error>
#include <thread>

using namespace devio;
using namespace devio::test;
using Clock = std::chrono::steady_clock;
using std::chrono::milliseconds;

namespace {

long elapsed(Clock::time_point from, Clock::time_point to)
{
    return static_cast<long>(std::chrono::duration_cast<milliseconds>(to - from).count());
}

const milliseconds k_generous(5000);

} // namespace

TEST(CoreTimer, FiresOnceWithItsIdAfterThePeriod)
{
    auto timer = std::make_shared<Timer>(std::weak_ptr<IRunLoopManager>(), 7);
    TimerRecorder r;
    ASSERT_TRUE(r.subscribe(std::static_pointer_cast<ITimer>(timer), 1, "test"));
    const auto t0 = Clock::now();
    EXPECT_TRUE(timer->start(201)); // odd: one millisecond lost
    Clock::time_point at;
    ASSERT_TRUE(r.wait_for(1, k_generous, &at));
    EXPECT_GE(elapsed(t0, at), 200);
    EXPECT_EQ(r.id(0), 7);
    EXPECT_FALSE(r.wait_for(2, milliseconds(300)));
}

TEST(CoreTimer, KickDebouncesInTheFirstHalfAndRestartsInTheSecond)
{
    auto timer = std::make_shared<Timer>(std::weak_ptr<IRunLoopManager>(), 1);
    TimerRecorder r;
    r.subscribe(std::static_pointer_cast<ITimer>(timer), 1, "test");

    auto t0 = Clock::now();
    timer->start(600);
    EXPECT_FALSE(timer->kick(600)); // first half: ignored
    Clock::time_point at;
    ASSERT_TRUE(r.wait_for(1, k_generous, &at));
    EXPECT_GE(elapsed(t0, at), 600);

    t0 = Clock::now();
    timer->start(600);
    std::this_thread::sleep_until(t0 + milliseconds(400)); // place the kick in the second half
    const auto kicked = Clock::now();
    EXPECT_TRUE(timer->kick(600));
    ASSERT_TRUE(r.wait_for(2, k_generous, &at));
    EXPECT_GE(elapsed(kicked, at), 600);

    // After firing, and on a timer never started, kick starts it.
    EXPECT_TRUE(timer->kick(20));
    ASSERT_TRUE(r.wait_for(3, k_generous));
    auto fresh = std::make_shared<Timer>(std::weak_ptr<IRunLoopManager>(), 2);
    TimerRecorder r2;
    r2.subscribe(std::static_pointer_cast<ITimer>(fresh), 1, "test");
    EXPECT_TRUE(fresh->kick(20));
    ASSERT_TRUE(r2.wait_for(1, k_generous));
}

TEST(CoreTimer, StopAndHugePeriods)
{
    auto timer = std::make_shared<Timer>(std::weak_ptr<IRunLoopManager>(), 3);
    TimerRecorder r;
    r.subscribe(std::static_pointer_cast<ITimer>(timer), 1, "test");
    timer->start(200);
    EXPECT_TRUE(timer->stop());
    EXPECT_TRUE(timer->stop());
    EXPECT_FALSE(r.wait_for(1, milliseconds(400)));

    // Above 2^31 ms the period must not wrap to "fire now".
    timer->start(0xFFFFFFFFu);
    EXPECT_FALSE(r.wait_for(1, milliseconds(200)));
    const auto t0 = Clock::now();
    timer->stop();
    EXPECT_LT(elapsed(t0, Clock::now()), 2000);

    timer->start(1); // fires at once, as before
    EXPECT_TRUE(r.wait_for(1, k_generous));
}

TEST(CoreTimer, QueuedSubscriberRunsOnTheRunLoop)
{
    auto manager = std::make_shared<DeviceManager>();
    manager->set_run_loop(manager);
    auto timer = std::make_shared<Timer>(manager, 4);
    TimerRecorder r;
    ASSERT_TRUE(r.subscribe(std::static_pointer_cast<ITimer>(timer), 0, "queued"));
    timer->start(10);
    const auto deadline = Clock::now() + k_generous;
    while (manager->queued_count() == 0 && Clock::now() < deadline)
        std::this_thread::yield();
    EXPECT_EQ(r.count(), 0u);
    manager->process();
    EXPECT_EQ(r.count(), 1u);
}

TEST(CoreTimer, HandlerDroppingTheLastReferenceOnTheTimerThread)
{
    struct Dropper : Subscriber<ITimer::TimerEvent> {
        std::shared_ptr<Timer> held;
        std::mutex m;
        std::condition_variable cv;
        bool done = false;
        void onTimerEvent(int) override
        {
            unsubscribe(std::static_pointer_cast<ITimer>(held));
            held.reset(); // the timer ends here, on its own thread
            std::lock_guard<std::mutex> lock(m);
            done = true;
            cv.notify_all();
        }
    };
    for (int i = 0; i < 20; ++i) {
        Dropper d;
        d.held = std::make_shared<Timer>(std::weak_ptr<IRunLoopManager>(), 5);
        d.subscribe(std::static_pointer_cast<ITimer>(d.held), 1, "dropper");
        std::weak_ptr<Timer> weak = d.held;
        d.held->start(2);
        std::unique_lock<std::mutex> lock(d.m);
        ASSERT_TRUE(d.cv.wait_for(lock, k_generous, [&] { return d.done; }));
        lock.unlock();
        const auto deadline = Clock::now() + k_generous;
        while (!weak.expired() && Clock::now() < deadline)
            std::this_thread::yield();
        EXPECT_TRUE(weak.expired());
    }
}

TEST(CoreTimer, DirectHandlerControllingItsOwnTimerIsRefusedNotDeadlocked)
{
    struct Controller : Subscriber<ITimer::TimerEvent> {
        std::shared_ptr<Timer> timer;
        std::mutex m;
        std::condition_variable cv;
        int outcome = 0; // 1 refused with system_error, 2 returned
        void onTimerEvent(int) override
        {
            int result = 2;
            try {
                timer->stop();
            } catch (const std::system_error&) {
                result = 1;
            }
            std::lock_guard<std::mutex> lock(m);
            outcome = result;
            cv.notify_all();
        }
    } c;
    c.timer = std::make_shared<Timer>(std::weak_ptr<IRunLoopManager>(), 6);
    c.subscribe(std::static_pointer_cast<ITimer>(c.timer), 1, "controller");
    c.timer->start(2);
    std::unique_lock<std::mutex> lock(c.m);
    ASSERT_TRUE(c.cv.wait_for(lock, k_generous, [&] { return c.outcome != 0; }));
    EXPECT_EQ(c.outcome, 1);
    lock.unlock();
    c.timer->stop(); // from here the thread can be joined
}

// A device's worker starts its quarantine timer while a disconnection on the run loop stops it:
// start, kick and stop of one timer from different threads at once.
TEST(CoreTimer, StartAndStopFromDifferentThreadsAtOnce)
{
    auto timer = std::make_shared<Timer>(std::weak_ptr<IRunLoopManager>(), 9);
    TimerRecorder r;
    ASSERT_TRUE(r.subscribe(std::static_pointer_cast<ITimer>(timer), 1, "test"));
    constexpr int kRounds = 100;
    std::thread starter([&] {
        for (int i = 0; i < kRounds; ++i)
            timer->start(i % 2 ? 1 : 2);
    });
    std::thread stopper([&] {
        for (int i = 0; i < kRounds; ++i) {
            timer->stop();
            timer->kick(2);
        }
    });
    starter.join();
    stopper.join();
    // Still whole: a last start fires.
    timer->stop();
    const std::size_t fired = r.count();
    timer->start(2);
    EXPECT_TRUE(r.wait_for(fired + 1, k_generous));
}
