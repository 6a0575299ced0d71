// The manager and the facade at their edges: failed starts and self-subscriptions, plug events
// from a bus thread, ending with work pending, the facade closed under its users.
#include "core/CDevio.h"
#include "core/DeviceManager.h"
#include "core/Timing.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <map>
#include <mutex>
#include <thread>

using namespace devio;
using Clock = std::chrono::steady_clock;
using std::chrono::milliseconds;

namespace {

class Hardware : public IHardwareDevice {
public:
    Hardware(std::string path, std::uint16_t pid, std::weak_ptr<IHardwareBus> bus)
        : m_path(std::move(path)), m_pid(pid), m_bus(std::move(bus))
    {
    }
    bool isConnected() override { return true; }
    bool open() override { return true; }
    void close() override {}
    bool write(std::vector<Byte>, bool) override { return true; }
    std::shared_ptr<IHardwareBus> getBus() override { return m_bus.lock(); }
    std::string getPath() override { return m_path; }
    std::uint16_t getProductId() override { return m_pid; }
    std::string getName() override { return m_path; }
    std::shared_ptr<IDataRequest<std::string>> nameRequest() override { return make_data_success(m_path); }
    std::uint32_t getTransportType() override { return 0; }
    std::uint32_t getSubIndex() override { return 0; }

private:
    const std::string m_path;
    const std::uint16_t m_pid;
    const std::weak_ptr<IHardwareBus> m_bus;
};

class Bus : public IHardwareBus, public Producer<IHardwareBus::PlugUnplug>, public std::enable_shared_from_this<Bus> {
public:
    std::vector<std::shared_ptr<IHardwareDevice>> enumerate() override
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        ++enumerations;
        if (failing) {
            set_last_error(6, 0, nullptr);
            return {};
        }
        return m_devices;
    }
    std::shared_ptr<IHardwareDevice> make(const std::string& path, std::uint16_t pid = 0x1234)
    {
        return std::make_shared<Hardware>(path, pid, weak_from_this());
    }
    void present(std::shared_ptr<IHardwareDevice> hw)
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_devices.push_back(std::move(hw));
    }
    void plug(std::shared_ptr<IHardwareDevice> hw)
    {
        notify([hw](PlugUnplug* s) { s->onPlug(hw); }, "Bus::PlugUnplug::onPlug");
    }
    void unplug(std::shared_ptr<IHardwareDevice> hw)
    {
        notify([hw](PlugUnplug* s) { s->onUnplug(hw); }, "Bus::PlugUnplug::onUnplug");
    }

    bool failing = false;
    int enumerations = 0;

private:
    std::mutex m_mutex;
    std::vector<std::shared_ptr<IHardwareDevice>> m_devices;
};

// The manager sees devices as opaque handles; the factory hands out aliases of a path.
class Factory : public IDeviceFactory {
public:
    std::shared_ptr<Bus> platform;
    std::map<std::string, std::shared_ptr<Bus>> receivers; // receiver path -> its bus
    int platform_made = 0;
    std::atomic<int> devices_alive{0};

    std::shared_ptr<IHardwareBus> make_platform_bus(std::shared_ptr<IDeviceManager>) override
    {
        ++platform_made;
        if (!platform)
            set_last_error(6, 0, nullptr);
        return platform;
    }
    std::shared_ptr<IHardwareBus> make_combiner_bus(std::shared_ptr<IDeviceManager>,
                                                    std::shared_ptr<IHardwareBus> child) override
    {
        return child;
    }
    std::shared_ptr<IHardwareBus> make_pairing_bus(std::shared_ptr<IDeviceManager>,
                                                   std::shared_ptr<IHardwareBus> child) override
    {
        return child;
    }
    std::shared_ptr<IDevice> make_device(std::shared_ptr<IDeviceManager>, std::shared_ptr<IHardwareDevice> hw,
                                         std::shared_ptr<Configuration>, const std::string&) override
    {
        return handle(hw->getPath());
    }
    std::shared_ptr<IDevice> make_receiver(std::shared_ptr<IDeviceManager>, std::shared_ptr<IHardwareDevice> hw,
                                           std::uint32_t, std::shared_ptr<Configuration>) override
    {
        return handle(hw->getPath());
    }
    std::shared_ptr<IHardwareBus> as_bus(const std::shared_ptr<IDevice>& device) override
    {
        auto it = receivers.find(path_of(device));
        return it == receivers.end() ? nullptr : it->second;
    }
    void set_cache_directory(const std::shared_ptr<IDevice>&, const std::string&) override {}
    void release_configuration(const std::shared_ptr<IDevice>&) override {}
    void replay_connect(const std::shared_ptr<IDevice>&) override {}

    static std::string path_of(const std::shared_ptr<IDevice>& device)
    {
        return *reinterpret_cast<const std::string*>(device.get());
    }

private:
    struct Record {
        Record(std::string p, std::atomic<int>* a) : path(std::move(p)), alive(a) { ++*alive; }
        ~Record() { --*alive; }
        std::string path;
        std::atomic<int>* alive;
    };
    std::shared_ptr<IDevice> handle(const std::string& path)
    {
        auto record = std::make_shared<Record>(path, &devices_alive);
        return std::shared_ptr<IDevice>(record, reinterpret_cast<IDevice*>(&record->path));
    }
};

class Events : public Subscriber<IDeviceManager::ArrivalRemoval>,
               public Subscriber<IDeviceManager::ActiveChanged>,
               public Subscriber<IDeviceManager::UnreportedError> {
public:
    void onDeviceArrival(std::shared_ptr<IDevice> d) override { log.push_back("+" + Factory::path_of(d)); }
    void onDeviceRemoval(std::shared_ptr<IDevice> d) override { log.push_back("-" + Factory::path_of(d)); }
    void onActiveChanged(bool a) override { active.push_back(a); }
    void onUnreportedError(const char* context, ErrorCode code, const char* text, unsigned long detail) override
    {
        errors.push_back(std::string(context) + "|" + std::to_string(code) + "|" + (text ? text : "") + "|" +
                         std::to_string(detail));
    }
    std::vector<std::string> log;
    std::vector<bool> active;
    std::vector<std::string> errors;
};

std::shared_ptr<DeviceManager> make_manager(const std::shared_ptr<Factory>& factory)
{
    auto manager = std::make_shared<DeviceManager>(factory);
    manager->set_run_loop(manager);
    manager->setConfig(ConfigItem(5), true);
    manager->setConfig(ConfigItem(6), true);
    return manager;
}

} // namespace

TEST(CoreManagerEdges, FailedSelfSubscriptionIsReportedAndTheChangeStillHappens)
{
    auto factory = std::make_shared<Factory>();
    auto manager = std::make_shared<DeviceManager>(factory); // no run loop: queued subscriptions fail
    Events events;
    ASSERT_TRUE(events.Subscriber<IDeviceManager::ActiveChanged>::subscribe(manager, 1, ""));
    ASSERT_TRUE(events.Subscriber<IDeviceManager::UnreportedError>::subscribe(manager, 1, ""));
    manager->set_active(false);
    EXPECT_FALSE(manager->is_active());
    EXPECT_EQ(events.active, (std::vector<bool>{false}));
    EXPECT_EQ(events.errors,
              (std::vector<std::string>{"DeviceManager::set_active subscribe(IDeviceManager::ActiveChanged)|87||0"}));

    // Reporting passes the record on unchanged, and nothing when there is no error.
    set_last_error(0, 0, nullptr);
    manager->reportError("quiet");
    EXPECT_EQ(events.errors.size(), 1u);
    set_last_error(46, 3, "out of range");
    manager->reportError("ctx");
    EXPECT_EQ(events.errors.back(), "ctx|46|out of range|3");
    EXPECT_EQ(last_error().code, 46u);
    EXPECT_STREQ(last_error().text, "out of range");
}

TEST(CoreManagerEdges, FailedLazyStartRefusesTheListenerUntilABusCanBeMade)
{
    auto factory = std::make_shared<Factory>(); // no platform bus yet
    auto manager = make_manager(factory);
    Events events;
    EXPECT_FALSE(events.Subscriber<IDeviceManager::ArrivalRemoval>::subscribe(manager, 1, "arrivals"));
    EXPECT_EQ(last_error().code, 6u);
    EXPECT_TRUE(manager->getDevices().empty());
    EXPECT_EQ(last_error().code, 6u); // the device list says why it is empty
    EXPECT_FALSE(manager->is_started());
    EXPECT_EQ(factory->platform_made, 2);

    factory->platform = std::make_shared<Bus>();
    factory->platform->set_run_loop(manager);
    factory->platform->present(factory->platform->make("a"));
    EXPECT_TRUE(events.Subscriber<IDeviceManager::ArrivalRemoval>::subscribe(manager, 1, "arrivals"));
    EXPECT_TRUE(manager->is_started());
    EXPECT_EQ(manager->getDevices().size(), 1u);
    EXPECT_EQ(factory->platform_made, 3);
}

TEST(CoreManagerEdges, PlugEventsFromABusThreadReachTheHostInOrder)
{
    // The HID bus publishes from its window thread while the host thread drains the loop.
    auto factory = std::make_shared<Factory>();
    factory->platform = std::make_shared<Bus>();
    auto manager = make_manager(factory);
    factory->platform->set_run_loop(manager);
    Events events;
    ASSERT_TRUE(events.Subscriber<IDeviceManager::ArrivalRemoval>::subscribe(manager, 1, "arrivals"));

    const int n = 200;
    std::atomic<bool> done{false};
    auto bus = factory->platform;
    std::thread window([&] {
        for (int i = 0; i < n; ++i) {
            auto hw = bus->make("dev" + std::to_string(i));
            bus->plug(hw);
            if (i % 2)
                bus->unplug(bus->make("dev" + std::to_string(i))); // a fresh object, same path
        }
        done = true;
    });
    const auto deadline = Clock::now() + std::chrono::seconds(20);
    while ((!done || manager->queued_count() > 0) && Clock::now() < deadline) {
        if (manager->queued_count() > 0)
            manager->process();
        else
            std::this_thread::yield();
    }
    window.join();
    ASSERT_TRUE(done);
    EXPECT_EQ(events.log.size(), static_cast<std::size_t>(n + n / 2));
    EXPECT_EQ(events.log[0], "+dev0");
    EXPECT_EQ(events.log[1], "+dev1");
    EXPECT_EQ(events.log[2], "-dev1");
    EXPECT_EQ(manager->getDevices().size(), static_cast<std::size_t>(n / 2));
}

TEST(CoreManagerEdges, EndingWithWorkPendingNeitherWaitsNorRunsIt)
{
    auto factory = std::make_shared<Factory>();
    factory->platform = std::make_shared<Bus>();
    auto receiverBus = std::make_shared<Bus>();
    receiverBus->failing = true;
    factory->receivers["rcv"] = receiverBus;
    std::weak_ptr<DeviceManager> weak;
    {
        auto manager = make_manager(factory);
        weak = manager;
        factory->platform->set_run_loop(manager);
        receiverBus->set_run_loop(manager);
        Events events;
        ASSERT_TRUE(events.Subscriber<IDeviceManager::ArrivalRemoval>::subscribe(manager, 1, "arrivals"));
        factory->platform->plug(factory->platform->make("rcv", 0xC510)); // a known receiver
        factory->platform->plug(factory->platform->make("queued"));
        manager->process(); // the receiver: its bus fails, the 2000 ms retry is armed
        EXPECT_EQ(events.log, (std::vector<std::string>{"+rcv"}));
        EXPECT_EQ(receiverBus->enumerations, 1);
        EXPECT_EQ(manager->queued_count(), 1u);

        const auto t0 = Clock::now();
        manager.reset(); // the subscriber leaves only afterwards
        EXPECT_TRUE(weak.expired());
        EXPECT_LT(Clock::now() - t0, milliseconds(1500));
        EXPECT_EQ(events.log, (std::vector<std::string>{"+rcv"})); // no removals while closing
    }
    EXPECT_EQ(factory->devices_alive.load(), 0);
    // The buses outlive the manager: their later events go nowhere.
    factory->platform->plug(factory->platform->make("late"));
    receiverBus->plug(receiverBus->make("late"));
    EXPECT_EQ(factory->platform->subscriber_count(), 0u);
    EXPECT_EQ(receiverBus->subscriber_count(), 0u);
    EXPECT_EQ(receiverBus->enumerations, 1);
}

TEST(CoreManagerEdges, LastReferenceDroppedOnTheRetryTimerThread)
{
    // The host lets the manager go when woken by the retry timer: the manager then ends on that
    // timer's thread, in the middle of the timer's own publication.
    Timing::setScale(1, 40); // the retry fires 50 ms later: after the host below has subscribed
    auto factory = std::make_shared<Factory>();
    factory->platform = std::make_shared<Bus>();
    auto receiverBus = std::make_shared<Bus>();
    receiverBus->failing = true;
    factory->receivers["rcv"] = receiverBus;
    struct DroppingHost : Subscriber<IRunLoopManager::RunLoopEvent> {
        std::mutex m;
        std::shared_ptr<DeviceManager> held;
        void onRunLoopEvent() override
        {
            std::lock_guard<std::mutex> lock(m);
            held.reset();
        }
    } host;
    Events events;
    auto manager = make_manager(factory);
    std::weak_ptr<DeviceManager> weak = manager;
    factory->platform->set_run_loop(manager);
    receiverBus->set_run_loop(manager);
    ASSERT_TRUE(events.Subscriber<IDeviceManager::ArrivalRemoval>::subscribe(manager, 1, "arrivals"));
    factory->platform->plug(factory->platform->make("rcv", 0xC510));
    manager->process(); // the receiver fails: retry armed
    ASSERT_EQ(manager->queued_count(), 0u);
    {
        std::lock_guard<std::mutex> lock(host.m);
        host.held = manager;
    }
    ASSERT_TRUE(host.subscribe(manager, 1, "host"));
    manager.reset();
    // Expiry shows when the destructor begins; the buses and devices show when it is through.
    auto ended = [&] {
        return weak.expired() && receiverBus->subscriber_count() == 0 &&
               factory->platform->subscriber_count() == 0 && factory->devices_alive.load() == 0;
    };
    const auto deadline = Clock::now() + std::chrono::seconds(10);
    while (!ended() && Clock::now() < deadline)
        std::this_thread::yield();
    Timing::reset();
    EXPECT_TRUE(ended());
    EXPECT_EQ(receiverBus->enumerations, 1); // the retry was queued, never run
}

TEST(CoreFacadeEdges, CloseUnderConcurrentUsersLeavesEachCallWholeOrRefused)
{
    CDevio facade([] { return std::make_shared<DeviceManager>(); });
    std::atomic<bool> stop{false};
    std::atomic<int> refused{0}, served{0}, bad{0}, ran{0};
    auto user = [&] {
        while (!stop) {
            set_last_error(0, 0, nullptr);
            const std::uint32_t id = facade.getSoftwareId();
            if (id == 0) {
                ++refused;
                if (last_error().code != 72)
                    ++bad;
            } else {
                ++served;
                if (id < 10 || id > 14)
                    ++bad;
            }
            facade.post([&ran] { ++ran; return false; }, nullptr, nullptr, "user work");
            facade.process();
        }
    };
    std::thread a(user), b(user);
    // On a loaded machine the users may not even start within a fixed number of closes: keep
    // closing until the calls ran both whole and refused.
    const auto deadline = Clock::now() + std::chrono::seconds(10);
    for (int i = 0; i < 2000 || ((served < 100 || refused == 0) && Clock::now() < deadline); ++i) {
        facade.close();
        std::this_thread::yield();
    }
    stop = true;
    a.join();
    b.join();
    EXPECT_EQ(bad.load(), 0);
    EXPECT_GT(served.load(), 0);
    facade.close();
    EXPECT_FALSE(facade.get_existing_manager());
}
