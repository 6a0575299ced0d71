#pragma once
#include "core/DeliveryHold.h"
#include "core/ErrorRecord.h"
#include "core/IRunLoopAccess.h"

#include <cstddef>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <set>
#include <string>

namespace devio {

// Guards queued deliveries against a subscriber that ended meanwhile on another thread:
// the delivery holds the lock while it calls; the subscriber clears `alive` under it.
struct SubscriberLiveness {
    std::recursive_mutex mutex;
    bool alive = true;
};

// Publisher of one event interface E. Subscribers are raw keys; the producer never owns them.
template <class E>
class Producer : public virtual IRunLoopAccess {
public:
    Producer() = default;
    Producer(const Producer&) = delete;
    Producer& operator=(const Producer&) = delete;
    virtual ~Producer() = default;

    // direct: 1 direct delivery, 0 queued; anything else is accepted and ignored.
    virtual bool subscribe(E* subscriber, int direct) { return subscribe_tracked(subscriber, direct, nullptr); }

    // As subscribe; queued deliveries check `liveness` before they call the subscriber.
    bool subscribe_tracked(E* subscriber, int direct, std::shared_ptr<SubscriberLiveness> liveness)
    {
        if (direct != 0 && direct != 1)
            return true;
        if (direct == 0 && !lock_run_loop()) {
            set_last_error(87, 0, nullptr);
            return false;
        }
        {
            std::lock_guard<std::recursive_mutex> lock(m_producer_mutex);
            if (direct == 1 ? m_direct.count(subscriber) != 0 : m_queued.count(subscriber) != 0)
                return true;
        }
        if (!on_subscribe(subscriber))
            return false;
        {
            std::lock_guard<std::recursive_mutex> lock(m_producer_mutex);
            if (direct == 1)
                m_direct.insert(subscriber);
            else
                m_queued.emplace(subscriber, std::move(liveness));
            on_subscribed(subscriber, direct == 1);
        }
        on_subscriber_stored(subscriber);
        return true;
    }

    virtual void remove_subscriber(E* subscriber)
    {
        bool found = false;
        {
            std::lock_guard<std::recursive_mutex> lock(m_producer_mutex);
            found = m_direct.erase(subscriber) != 0;
        }
        if (found)
            on_unsubscribed(subscriber);
        {
            std::lock_guard<std::recursive_mutex> lock(m_producer_mutex);
            found = m_queued.erase(subscriber) != 0;
        }
        if (found) {
            on_unsubscribed(subscriber);
            if (auto runLoop = lock_run_loop())
                runLoop->flush(static_cast<void*>(subscriber), producer_key());
        }
    }

    virtual void notify(std::function<void(E*)> call, std::string handlerName)
    {
        const DeliveryScope delivery;  // outlives the lock
        std::lock_guard<std::recursive_mutex> lock(m_producer_mutex);
        // Copies: a direct handler may subscribe or unsubscribe on this producer.
        const std::set<E*> direct = m_direct;
        for (E* s : direct)
            if (m_direct.count(s))
                call(s);
        const auto queued = m_queued;
        for (const auto& entry : queued) {
            E* s = entry.first;
            auto runLoop = lock_run_loop();
            if (!runLoop)
                continue;
            std::shared_ptr<SubscriberLiveness> liveness = entry.second;
            auto delivery = [call, s, liveness]() -> bool {
                if (!liveness) {
                    call(s);
                    return true;
                }
                std::lock_guard<std::recursive_mutex> alive(liveness->mutex);
                if (liveness->alive)
                    call(s);
                return true;
            };
            runLoop->post(std::move(delivery), static_cast<void*>(s), producer_key(), handlerName);
        }
    }

    virtual std::size_t subscriber_count()
    {
        std::lock_guard<std::recursive_mutex> lock(m_producer_mutex);
        return m_direct.size() + m_queued.size();
    }

protected:
    // Asked before a new subscriber is stored, without the mutex; false refuses it.
    virtual bool on_subscribe(E* /*subscriber*/) { return true; }
    // After the subscriber was stored, under the mutex.
    virtual void on_subscribed(E* /*subscriber*/, bool /*direct*/) {}
    // After the subscriber was stored, outside the mutex: the place to start a source whose
    // first events the new subscriber must see.
    virtual void on_subscriber_stored(E* /*subscriber*/) {}
    // After each removal, outside the mutex.
    virtual void on_unsubscribed(E* /*subscriber*/) {}

    void* producer_key() { return static_cast<void*>(this); }

private:
    std::recursive_mutex m_producer_mutex;
    std::set<E*> m_direct;
    std::map<E*, std::shared_ptr<SubscriberLiveness>> m_queued; // ordered by address, like m_direct
};

// Receiver of one event interface E; the object itself is the key producers store.
template <class E>
class Subscriber : public E {
public:
    Subscriber() : m_liveness(std::make_shared<SubscriberLiveness>()) {}
    Subscriber(const Subscriber&) = delete;
    Subscriber& operator=(const Subscriber&) = delete;

    ~Subscriber() override { unsubscribe_all(); }

    // I is the interface that declares E; its object must also be a Producer<E>.
    template <class I>
    bool subscribe(std::shared_ptr<I> producer, int direct, std::string name)
    {
        (void)name;
        std::shared_ptr<Producer<E>> p = std::dynamic_pointer_cast<Producer<E>>(producer);
        if (!p) {
            set_last_error(43, 0, "dynamic pointer cast in subscribe failed");
            return false;
        }
        std::weak_ptr<Producer<E>> weak = p;
        {
            std::lock_guard<std::mutex> lock(m_producers_mutex);
            if (m_producers.count(weak))
                return true;
        }
        if (!p->subscribe_tracked(this, direct, m_liveness))
            return false;
        std::lock_guard<std::mutex> lock(m_producers_mutex);
        m_producers.insert(weak);
        return true;
    }

    template <class I>
    void unsubscribe(std::shared_ptr<I> producer)
    {
        std::shared_ptr<Producer<E>> p = std::dynamic_pointer_cast<Producer<E>>(producer);
        if (!p)
            return;
        std::weak_ptr<Producer<E>> weak = p;
        {
            std::lock_guard<std::mutex> lock(m_producers_mutex);
            if (m_producers.count(weak) == 0)
                return;
        }
        p->remove_subscriber(this);
        std::lock_guard<std::mutex> lock(m_producers_mutex);
        m_producers.erase(weak);
    }

    std::shared_ptr<SubscriberLiveness> liveness() const { return m_liveness; }

    // Leaves every producer, waiting for a direct delivery in progress (a producer calls its
    // direct subscribers under its lock). A derived class subscribed directly calls it first in
    // its destructor: a delivery must not reach the object while its parts are destroyed.
    void unsubscribe_all()
    {
        stop_deliveries();
        Producers producers;
        {
            std::lock_guard<std::mutex> lock(m_producers_mutex);
            producers.swap(m_producers);
        }
        for (const auto& weak : producers)
            if (auto producer = weak.lock())
                producer->remove_subscriber(this);
    }

    // Ends queued deliveries to this subscriber, waiting for one in progress. A derived class
    // whose handlers use its own members calls it first in its destructor: this base is
    // destroyed only after those members.
    void stop_deliveries()
    {
        std::lock_guard<std::recursive_mutex> lock(m_liveness->mutex);
        m_liveness->alive = false;
    }

private:
    using Producers = std::set<std::weak_ptr<Producer<E>>, std::owner_less<std::weak_ptr<Producer<E>>>>;

    std::shared_ptr<SubscriberLiveness> m_liveness;
    // Guards the set only and is never held while calling a producer: a producer calls its
    // subscribers under its own lock, and they may subscribe or unsubscribe from there.
    std::mutex m_producers_mutex;
    Producers m_producers;
};

} // namespace devio
