#pragma once
// A running device manager as the application hosts it: a thread that drains its run loop, and
// a record of the devices it announces.

#include "core/CDevio.h"
#include "core/DeviceManager.h"
#include "core/Subscriber.h"
#include "core/Timing.h"
#include "device/IDevice.h"

#include <sim/DeviceTree.h>

#include <gtest/gtest.h>

#include <chrono>
#include <condition_variable>
#include <functional>
#include <initializer_list>
#include <future>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <utility>
#include <vector>

namespace devio::test {

using namespace std::chrono_literals;

// Drains the manager's run loop on a thread of its own, and runs work there on request.
class LoopHost : public Subscriber<IRunLoopManager::RunLoopEvent> {
public:
    explicit LoopHost(std::shared_ptr<DeviceManager> manager) : m_manager(std::move(manager))
    {
        m_subscribed = subscribe(std::static_pointer_cast<Producer<IRunLoopManager::RunLoopEvent>>(m_manager), 1, "");
        m_thread = std::thread([this] { run(); });
    }
    ~LoopHost() { stop(); }
    bool subscribed() const { return m_subscribed; }

    void onRunLoopEvent() override
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_pending = true;
        m_condition.notify_all();
    }
    // Runs `work` on the host thread and waits for it: buses are touched there only.
    bool run_on(std::function<void()> work)
    {
        auto done = std::make_shared<std::promise<void>>();
        auto future = done->get_future();
        m_manager->post(
            [work, done] {
                work();
                done->set_value();
                return true;
            },
            nullptr, nullptr, "test");
        return future.wait_for(20s) == std::future_status::ready;
    }
    void stop()
    {
        {
            std::lock_guard<std::mutex> lock(m_mutex);
            m_stop = true;
            m_condition.notify_all();
        }
        if (m_thread.joinable())
            m_thread.join();
        unsubscribe(std::static_pointer_cast<Producer<IRunLoopManager::RunLoopEvent>>(m_manager));
    }

private:
    void run()
    {
        std::unique_lock<std::mutex> lock(m_mutex);
        for (;;) {
            m_condition.wait(lock, [&] { return m_stop || m_pending; });
            if (m_stop)
                return;
            m_pending = false;
            lock.unlock();
            m_manager->process();
            lock.lock();
        }
    }
    std::shared_ptr<DeviceManager> m_manager;
    bool m_subscribed = false;
    std::mutex m_mutex;
    std::condition_variable m_condition;
    bool m_pending = false;
    bool m_stop = false;
    std::thread m_thread;
};

// Arrivals and removals in order, as "+" or "-", the transport and the product id.
class Changes : public Subscriber<IDeviceManager::ArrivalRemoval> {
public:
    void onDeviceArrival(std::shared_ptr<IDevice> d) override { add("+", d); }
    void onDeviceRemoval(std::shared_ptr<IDevice> d) override { add("-", d); }

    static std::string key(const char* sign, std::uint32_t transport, std::uint16_t pid)
    {
        return std::string(sign) + std::to_string(transport) + ":" + std::to_string(pid);
    }
    // The device of the n-th (from 1) event with that key; empty on the deadline.
    std::shared_ptr<IDevice> wait_for(const std::string& k, int nth = 1)
    {
        std::unique_lock<std::mutex> lock(m_mutex);
        std::shared_ptr<IDevice> found;
        m_condition.wait_for(lock, 20s, [&] {
            int seen = 0;
            for (const auto& e : m_events)
                if (e.first == k && ++seen == nth)
                    found = e.second;
            return found != nullptr;
        });
        return found;
    }
    int count(const std::string& k)
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        int n = 0;
        for (const auto& e : m_events)
            n += e.first == k;
        return n;
    }
    std::vector<std::string> keys()
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        std::vector<std::string> result;
        for (const auto& e : m_events)
            result.push_back(e.first);
        return result;
    }
    void clear()
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_events.clear();
    }

private:
    void add(const char* sign, const std::shared_ptr<IDevice>& d)
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_events.emplace_back(key(sign, d->getTransport(), d->getProductId()), d);
        m_condition.notify_all();
    }
    std::mutex m_mutex;
    std::condition_variable m_condition;
    std::vector<std::pair<std::string, std::shared_ptr<IDevice>>> m_events;
};

// Ends a test that ran the application's facade: no more announcements, the host thread stopped,
// the manager let go, the facade closed, the machine's devices removed and the timings restored.
// The test lets go of the devices it holds first.
inline void close_facade(Changes& changes, LoopHost& host, std::shared_ptr<DeviceManager>& manager)
{
    changes.unsubscribe(std::static_pointer_cast<Producer<IDeviceManager::ArrivalRemoval>>(manager));
    changes.clear();
    host.stop();
    manager.reset();
    CDevio::instance().close();
    platform::sim::remove_all_dev_nodes();
    Timing::reset();
}

// The facade's manager hosted on a thread of its own and its announcements recorded from before
// any device arrives: the first subscriber starts the buses, `buses` turned on before.
inline ::testing::AssertionResult host_facade(std::initializer_list<ConfigItem> buses,
                                              std::shared_ptr<DeviceManager>& manager,
                                              std::unique_ptr<LoopHost>& host, Changes& changes)
{
    CDevio& facade = CDevio::instance();
    for (ConfigItem bus : buses)
        if (!facade.setConfig(bus, true))
            return ::testing::AssertionFailure() << "bus " << static_cast<int>(bus) << " not turned on";
    manager = facade.get_or_create_manager();
    if (!manager)
        return ::testing::AssertionFailure() << "the facade made no manager";
    host = std::make_unique<LoopHost>(manager);
    if (!host->subscribed())
        return ::testing::AssertionFailure() << "the host did not subscribe to the run loop";
    if (!changes.subscribe(std::static_pointer_cast<Producer<IDeviceManager::ArrivalRemoval>>(manager), 0, ""))
        return ::testing::AssertionFailure() << "arrivals and removals not subscribed";
    return ::testing::AssertionSuccess();
}

// host_facade and close_facade for a test of its own.
struct FacadeSession {
    std::shared_ptr<DeviceManager> manager;
    std::unique_ptr<LoopHost> host;
    Changes changes;

    ::testing::AssertionResult open(std::initializer_list<ConfigItem> buses)
    {
        return host_facade(buses, manager, host, changes);
    }
    // The test lets go of the devices it holds first.
    void close()
    {
        if (host)
            close_facade(changes, *host, manager);
    }
};

} // namespace devio::test
