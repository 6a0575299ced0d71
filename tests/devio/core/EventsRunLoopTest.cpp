#include "CoreTestSupport.h"

#include "core/DeviceManager.h"
#include "core/Producer.h"

#include <gtest/gtest.h>

#include <atomic>
#include <thread>
#include <vector>

using namespace devio;
using namespace devio::test;

namespace {

struct OtherEvent {
    virtual void onOther() {}
    virtual ~OtherEvent() = default;
};

// A source that counts its subscription hook calls.
class HookedSource : public Source {
public:
    int hooks = 0;

protected:
    bool on_subscribe(ISource::Value*) override
    {
        ++hooks;
        return true;
    }
};

// A host that only counts its wake-ups; the test thread drains the loop itself.
class Host : public Subscriber<IRunLoopManager::RunLoopEvent> {
public:
    std::atomic<int> events{0};
    void onRunLoopEvent() override { ++events; }
};

struct Loop {
    std::shared_ptr<DeviceManager> manager = std::make_shared<DeviceManager>();
    Host host;
    Loop()
    {
        manager->set_run_loop(manager);
        host.subscribe(manager, 1, "test host");
    }
    int drain()
    {
        int calls = 0;
        while (manager->queued_count() > 0) {
            manager->process();
            ++calls;
        }
        return calls;
    }
};

} // namespace

TEST(CoreEvents, DirectAtOnceQueuedThroughTheLoopOnePerProcess)
{
    Loop loop;
    auto source = std::make_shared<HookedSource>();
    source->set_run_loop(loop.manager);
    Listener direct, queued;
    ASSERT_TRUE(direct.subscribe(source, 1, "direct"));
    ASSERT_TRUE(queued.subscribe(source, 0, "queued"));

    source->send(1);
    source->send(2);
    source->send(3);
    EXPECT_EQ(direct.seen, (std::vector<int>{1, 2, 3}));
    EXPECT_TRUE(queued.seen.empty());
    EXPECT_EQ(loop.host.events, 1); // only the post to the empty queue wakes the host

    loop.manager->process();
    EXPECT_EQ(queued.seen, (std::vector<int>{1}));
    EXPECT_EQ(loop.host.events, 2); // yielded after one delivery: woken again
    loop.manager->process();
    loop.manager->process();
    EXPECT_EQ(queued.seen, (std::vector<int>{1, 2, 3}));
    EXPECT_EQ(loop.host.events, 3); // the call that empties the queue does not wake it again
    loop.manager->process();
    EXPECT_EQ(loop.host.events, 3);
}

TEST(CoreEvents, RepeatedAndMixedSubscriptions)
{
    Loop loop;
    auto source = std::make_shared<HookedSource>();
    source->set_run_loop(loop.manager);
    Listener a;
    EXPECT_TRUE(source->subscribe(&a, 1));
    EXPECT_TRUE(source->subscribe(&a, 1));
    EXPECT_EQ(source->hooks, 1);
    source->send(5);
    EXPECT_EQ(a.seen, (std::vector<int>{5}));

    // Both modes on the producer: delivered twice, counted twice.
    EXPECT_TRUE(source->subscribe(&a, 0));
    EXPECT_EQ(source->subscriber_count(), 2u);
    source->send(6);
    loop.drain();
    EXPECT_EQ(a.seen, (std::vector<int>{5, 6, 6}));
    source->remove_subscriber(&a);
    EXPECT_EQ(source->subscriber_count(), 0u);

    // Through the subscriber, the first mode stays.
    Listener b;
    EXPECT_TRUE(b.subscribe(source, 0, "first"));
    EXPECT_TRUE(b.subscribe(source, 1, "second"));
    source->send(7);
    EXPECT_TRUE(b.seen.empty());
    loop.drain();
    EXPECT_EQ(b.seen, (std::vector<int>{7}));

    // Out-of-range mode: accepted, nothing stored.
    Listener c;
    EXPECT_TRUE(source->subscribe(&c, 2));
    EXPECT_EQ(source->subscriber_count(), 1u);
}

TEST(CoreEvents, RefusedSubscriptions)
{
    auto source = std::make_shared<HookedSource>(); // no run loop
    Listener l;
    EXPECT_FALSE(l.subscribe(source, 0, "queued without loop"));
    EXPECT_EQ(last_error().code, 87u);
    EXPECT_TRUE(l.subscribe(source, 1, "direct needs none"));

    class Wrong : public ISource {};
    auto wrong = std::make_shared<Wrong>();
    Listener m;
    EXPECT_FALSE(m.subscribe(wrong, 1, "wrong producer"));
    EXPECT_EQ(last_error().code, 43u);
    EXPECT_STREQ(last_error().text, "dynamic pointer cast in subscribe failed");
}

TEST(CoreEvents, RemovalDropsOnlyThatProducersQueuedDeliveries)
{
    Loop loop;
    auto s1 = std::make_shared<HookedSource>();
    auto s2 = std::make_shared<HookedSource>();
    s1->set_run_loop(loop.manager);
    s2->set_run_loop(loop.manager);
    Listener l;
    l.subscribe(s1, 0, "");
    l.subscribe(s2, 0, "");
    s1->send(1);
    s2->send(2);
    s1->send(3);
    l.unsubscribe(s1);
    loop.drain();
    EXPECT_EQ(l.seen, (std::vector<int>{2}));
}

TEST(CoreEvents, QueuedDeliveryNeverReachesAnEndedSubscriber)
{
    Loop loop;
    auto source = std::make_shared<HookedSource>();
    source->set_run_loop(loop.manager);
    auto listener = std::make_unique<Listener>();
    listener->subscribe(source, 0, "");
    source->send(1);
    // The producer dies first, so the subscriber cannot flush through it.
    source.reset();
    listener.reset();
    EXPECT_EQ(loop.manager->queued_count(), 1u);
    loop.drain(); // would touch freed memory without the liveness check
    // Unsubscribing from a dead producer and ending afterwards are harmless.
    auto s2 = std::make_shared<HookedSource>();
    Listener other;
    other.subscribe(s2, 1, "");
    std::weak_ptr<HookedSource> weak = s2;
    s2.reset();
    EXPECT_TRUE(weak.expired());
}

TEST(CoreRunLoop, CallableResultDecidesWhetherProcessYields)
{
    Loop loop;
    std::vector<int> order;
    loop.manager->post([&] { order.push_back(1); return false; }, nullptr, nullptr, "a");
    loop.manager->post([&] { order.push_back(2); return false; }, nullptr, nullptr, "b");
    loop.manager->post([&] { order.push_back(3); return true; }, nullptr, nullptr, "c");
    loop.manager->post([&] {
        order.push_back(4);
        // Posting from inside a callable appends without another wake-up.
        loop.manager->post([&] { order.push_back(5); return false; }, nullptr, nullptr, "e");
        return false;
    }, nullptr, nullptr, "d");
    EXPECT_EQ(loop.host.events, 1);
    loop.manager->process();
    EXPECT_EQ(order, (std::vector<int>{1, 2, 3}));
    EXPECT_EQ(loop.host.events, 2);
    loop.manager->process();
    EXPECT_EQ(order, (std::vector<int>{1, 2, 3, 4, 5}));
    EXPECT_EQ(loop.host.events, 2);
}

TEST(CoreRunLoop, FlushByPairOrAll)
{
    Loop loop;
    int s = 0, p = 0, q = 0;
    std::vector<int> ran;
    auto add = [&](int tag, void* sub, void* prod) {
        loop.manager->post([&ran, tag] { ran.push_back(tag); return false; }, sub, prod, "x");
    };
    add(1, &s, &p);
    add(2, &s, &q);
    add(3, nullptr, &p);
    add(4, &s, &p);
    loop.manager->flush(&s, &p);
    loop.drain();
    EXPECT_EQ(ran, (std::vector<int>{2, 3}));

    add(5, &s, &p);
    add(6, nullptr, nullptr);
    loop.manager->flush(nullptr, nullptr);
    EXPECT_EQ(loop.manager->queued_count(), 0u);
    loop.manager->process();
    EXPECT_EQ(ran, (std::vector<int>{2, 3}));
}

TEST(CoreRunLoop, LateHostIsWokenOncePerWaitingEntry)
{
    auto manager = std::make_shared<DeviceManager>();
    manager->set_run_loop(manager);
    manager->post([] { return true; }, nullptr, nullptr, "a");
    manager->post([] { return true; }, nullptr, nullptr, "b");
    Host host;
    host.subscribe(manager, 1, "late host");
    EXPECT_EQ(host.events, 2);
}

TEST(CoreRunLoop, ConcurrentPostsToAnEmptyQueueWakeTheHostOnce)
{
    Loop loop;
    for (int round = 0; round < 300; ++round) {
        const int before = loop.host.events;
        std::atomic<bool> go{false};
        auto poster = [&] {
            while (!go) {
            }
            loop.manager->post([] { return false; }, nullptr, nullptr, "p");
        };
        std::thread a(poster), b(poster);
        go = true;
        a.join();
        b.join();
        EXPECT_EQ(loop.host.events - before, 1) << "round " << round;
        loop.manager->process();
        EXPECT_EQ(loop.manager->queued_count(), 0u);
    }
}
