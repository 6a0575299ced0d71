#include "bluetooth/PairingBus.h"
#include "core/CDevio.h"
#include "core/DeviceManager.h"
#include "core/Timing.h"

#include <gtest/gtest.h>

#include <chrono>
#include <condition_variable>
#include <map>
#include <mutex>
#include <thread>

using namespace devio;
using Clock = std::chrono::steady_clock;

namespace {

class FakeBus;

class FakeHardware : public IHardwareDevice {
public:
    FakeHardware(std::string path, std::uint16_t pid, std::uint32_t transport)
        : path(std::move(path)), pid(pid), transport(transport)
    {
    }
    bool isConnected() override { return connected; }
    bool open() override
    {
        ++opens;
        if (!openOk)
            set_last_error(28, 0, nullptr);
        return openOk;
    }
    void close() override {}
    bool write(std::vector<Byte>, bool) override { return true; }
    std::shared_ptr<IHardwareBus> getBus() override { return bus.lock(); }
    std::string getPath() override { return path; }
    std::uint16_t getProductId() override { return pid; }
    std::string getName() override { return path; }
    std::shared_ptr<IDataRequest<std::string>> nameRequest() override { return make_data_success(path); }
    std::uint32_t getTransportType() override { return transport; }
    std::uint32_t getSubIndex() override { return 0; }

    std::string path;
    std::uint16_t pid;
    std::uint32_t transport;
    bool connected = true;
    bool openOk = true;
    int opens = 0;
    std::weak_ptr<IHardwareBus> bus;
};

class FakeBus : public IHardwareBus,
                public Producer<IHardwareBus::PlugUnplug>,
                public std::enable_shared_from_this<FakeBus> {
public:
    std::vector<std::shared_ptr<IHardwareDevice>> enumerate() override
    {
        ++enumerations;
        enumerate_times.push_back(Clock::now());
        if (failures > 0) {
            --failures;
            set_last_error(6, 0, nullptr);
            return {};
        }
        return devices;
    }
    void setDataDirectory(std::string directory) override { data_directory = directory; }
    std::vector<std::shared_ptr<IHardwareBus>> getSecondaryBuses() override { return secondary; }
    void refresh() override { ++refreshes; }

    std::shared_ptr<FakeHardware> add(const std::string& path, std::uint16_t pid, std::uint32_t transport)
    {
        auto hw = std::make_shared<FakeHardware>(path, pid, transport);
        hw->bus = shared_from_this();
        devices.push_back(hw);
        return hw;
    }
    void plug(std::shared_ptr<IHardwareDevice> hw)
    {
        notify([hw](PlugUnplug* s) { s->onPlug(hw); }, "FakeBus::PlugUnplug::onPlug");
    }
    void unplug(std::shared_ptr<IHardwareDevice> hw)
    {
        notify([hw](PlugUnplug* s) { s->onUnplug(hw); }, "FakeBus::PlugUnplug::onUnplug");
    }
    void power(bool on)
    {
        notify([on](PlugUnplug* s) { s->onPowerChange(on); }, "FakeBus::PlugUnplug::onPowerChange");
    }

    std::vector<std::shared_ptr<IHardwareDevice>> devices;
    std::vector<std::shared_ptr<IHardwareBus>> secondary;
    int failures = 0;
    int enumerations = 0;
    int refreshes = 0;
    std::vector<Clock::time_point> enumerate_times;
    std::string data_directory = "<unset>";
};

// What the factory made for one hardware device. IDevice stays opaque to the manager, so the
// fake hands out aliases of this record.
struct FakeDevice {
    std::string path;
    bool receiver = false;
    std::shared_ptr<FakeBus> bus; // receivers only
    std::string cache_directory;
    int released = 0;
    int replayed = 0;
};

class FakeFactory : public IDeviceFactory {
public:
    std::shared_ptr<FakeBus> platform;
    int platform_made = 0;
    std::map<std::string, std::shared_ptr<FakeBus>> receiver_buses; // by receiver path
    std::map<const IDevice*, std::shared_ptr<FakeDevice>> made;
    std::weak_ptr<IRunLoopManager> run_loop;

    std::shared_ptr<IHardwareBus> make_platform_bus(std::shared_ptr<IDeviceManager>) override
    {
        ++platform_made;
        return platform;
    }
    std::shared_ptr<IHardwareBus> make_combiner_bus(std::shared_ptr<IDeviceManager>, std::shared_ptr<IHardwareBus> c) override
    {
        return c;
    }
    std::shared_ptr<IHardwareBus> make_pairing_bus(std::shared_ptr<IDeviceManager>, std::shared_ptr<IHardwareBus> c) override
    {
        return c;
    }
    std::shared_ptr<IDevice> make_device(std::shared_ptr<IDeviceManager>, std::shared_ptr<IHardwareDevice> hw,
                                         std::shared_ptr<Configuration>, const std::string& cache) override
    {
        auto d = std::make_shared<FakeDevice>();
        d->path = hw->getPath();
        d->cache_directory = cache;
        return handle(d);
    }
    std::shared_ptr<IDevice> make_receiver(std::shared_ptr<IDeviceManager>, std::shared_ptr<IHardwareDevice> hw,
                                           std::uint32_t, std::shared_ptr<Configuration>) override
    {
        auto d = std::make_shared<FakeDevice>();
        d->path = hw->getPath();
        d->receiver = true;
        d->bus = receiver_buses[d->path];
        if (!d->bus)
            d->bus = receiver_buses[d->path] = std::make_shared<FakeBus>();
        d->bus->set_run_loop(run_loop);
        return handle(d);
    }
    std::shared_ptr<IHardwareBus> as_bus(const std::shared_ptr<IDevice>& device) override
    {
        auto d = of(device);
        return d && d->receiver ? d->bus : nullptr;
    }
    void set_cache_directory(const std::shared_ptr<IDevice>& device, const std::string& dir) override
    {
        of(device)->cache_directory = dir;
    }
    void release_configuration(const std::shared_ptr<IDevice>& device) override { ++of(device)->released; }
    void replay_connect(const std::shared_ptr<IDevice>& device) override { ++of(device)->replayed; }

    std::shared_ptr<FakeDevice> of(const std::shared_ptr<IDevice>& device)
    {
        auto it = made.find(device.get());
        return it == made.end() ? nullptr : it->second;
    }
    std::string path_of(const std::shared_ptr<IDevice>& device) { return of(device)->path; }

private:
    std::shared_ptr<IDevice> handle(const std::shared_ptr<FakeDevice>& d)
    {
        std::shared_ptr<IDevice> h(d, reinterpret_cast<IDevice*>(d.get()));
        made[h.get()] = d;
        return h;
    }
};

class Host : public Subscriber<IRunLoopManager::RunLoopEvent> {
public:
    void onRunLoopEvent() override
    {
        std::lock_guard<std::mutex> lock(m);
        ++events;
        cv.notify_all();
    }
    std::mutex m;
    std::condition_variable cv;
    int events = 0;
};

class Events : public Subscriber<IDeviceManager::ArrivalRemoval>,
               public Subscriber<IDeviceManager::ActiveChanged>,
               public Subscriber<IDeviceManager::ConfigChanged>,
               public Subscriber<IDeviceManager::UnreportedError> {
public:
    explicit Events(FakeFactory& f) : factory(f) {}
    void onDeviceArrival(std::shared_ptr<IDevice> d) override { log.push_back("+" + factory.path_of(d)); }
    void onDeviceRemoval(std::shared_ptr<IDevice> d) override { log.push_back("-" + factory.path_of(d)); }
    void onActiveChanged(bool a) override { active.push_back(a); }
    void onConfigChanged(ConfigItem item, bool v) override { config.push_back({item, v}); }
    void onUnreportedError(const char* context, ErrorCode code, const char* text, unsigned long) override
    {
        errors.push_back(std::string(context) + "|" + std::to_string(code) + "|" + (text ? text : ""));
    }
    FakeFactory& factory;
    std::vector<std::string> log;
    std::vector<bool> active;
    std::vector<std::pair<int, bool>> config;
    std::vector<std::string> errors;
};

struct Rig {
    std::shared_ptr<FakeFactory> factory = std::make_shared<FakeFactory>();
    std::shared_ptr<DeviceManager> manager;
    Host host;
    Events events{*factory};

    Rig()
    {
        manager = std::make_shared<DeviceManager>(factory);
        manager->set_run_loop(manager);
        factory->run_loop = manager;
        factory->platform = std::make_shared<FakeBus>();
        factory->platform->set_run_loop(manager);
        host.Subscriber<IRunLoopManager::RunLoopEvent>::subscribe(manager, 1, "host");
        events.Subscriber<IDeviceManager::ActiveChanged>::subscribe(manager, 1, "");
        events.Subscriber<IDeviceManager::ConfigChanged>::subscribe(manager, 1, "");
        events.Subscriber<IDeviceManager::UnreportedError>::subscribe(manager, 1, "");
    }
    ~Rig()
    {
        // A retry timer may still be announcing work on its own thread: the host leaves the
        // manager (waiting for that) before its members go.
        if (manager)
            host.Subscriber<IRunLoopManager::RunLoopEvent>::unsubscribe(manager);
    }
    bool listen() { return events.Subscriber<IDeviceManager::ArrivalRemoval>::subscribe(manager, 1, "arrivals"); }
    void drain()
    {
        while (manager->queued_count() > 0)
            manager->process();
    }
    // Acts as the run-loop host until pred holds or the deadline passes.
    bool pump_until(const std::function<bool()>& pred, std::chrono::milliseconds within = std::chrono::seconds(10))
    {
        const auto deadline = Clock::now() + within;
        while (!pred()) {
            if (Clock::now() > deadline)
                return false;
            if (manager->queued_count() > 0) {
                manager->process();
                continue;
            }
            std::unique_lock<std::mutex> lock(host.m);
            const int seen = host.events;
            host.cv.wait_for(lock, std::chrono::milliseconds(5), [&] { return host.events != seen; });
        }
        return true;
    }
};

struct ScaledTime {
    explicit ScaledTime(std::uint32_t den) { Timing::setScale(1, den); }
    ~ScaledTime() { Timing::reset(); }
};

} // namespace

TEST(CoreDeviceManager, AcceptsByTransportKindAndItems)
{
    Rig rig;
    rig.manager->setConfig(ConfigItem(6), true); // before the start: stored and published only
    EXPECT_EQ(rig.factory->platform_made, 0);
    ASSERT_TRUE(rig.listen());
    EXPECT_EQ(rig.factory->platform_made, 1);

    auto& bus = *rig.factory->platform;
    std::vector<std::shared_ptr<FakeHardware>> all = {
        bus.add("usb", 0x1234, 0), bus.add("rcv-range", 0xC5AA, 0), bus.add("rcv", 0xC510, 0),
        bus.add("bt", 0x1, 2),     bus.add("ble", 0x2, 3),          bus.add("gatt", 0x3, 4),
        bus.add("paired", 0x4, 1), bus.add("asleep", 0x5, 0),       bus.add("broken", 0x6, 0)};
    all[7]->connected = false;
    all[8]->openOk = false;
    for (auto& hw : all)
        bus.plug(hw);
    rig.drain();
    EXPECT_EQ(rig.events.log, (std::vector<std::string>{"+usb", "+rcv-range", "+rcv", "+gatt", "+asleep"}));
    EXPECT_EQ(all[7]->opens, 0); // not connected: taken without opening
    // With receivers off, a receiver id arrives as an ordinary device.
    for (auto& [key, d] : rig.factory->made)
        EXPECT_FALSE(d->receiver) << d->path;

    // The same path again is one device.
    bus.plug(std::make_shared<FakeHardware>("usb", 0x1234, 0));
    rig.drain();
    EXPECT_EQ(rig.events.log.size(), 5u);

    // Items 0 and 1 rebuild the buses and admit Bluetooth kinds.
    rig.events.log.clear();
    rig.manager->setConfig(ConfigItem(0), true);
    rig.manager->setConfig(ConfigItem(1), true);
    EXPECT_EQ(rig.factory->platform_made, 3);
    auto count = [&](const char* e) { return std::count(rig.events.log.begin(), rig.events.log.end(), e); };
    EXPECT_EQ(count("+bt"), 2);
    EXPECT_EQ(count("+ble"), 1);
    EXPECT_EQ(count("-usb"), 2);
    EXPECT_EQ(count("+usb"), 2);
    EXPECT_EQ(count("+paired"), 0);
    EXPECT_EQ(rig.manager->getDevices().size(), 7u);
}

TEST(CoreDeviceManager, ArrivalSubscribersAdoptPresentDevicesThroughTheList)
{
    // The first arrival subscriber starts the buses from inside its own subscription, before it
    // is stored: the devices found then reach it only through the device list, which is how the
    // application adopts them. Announcing them as well would make it adopt each one twice.
    Rig rig;
    rig.manager->setConfig(ConfigItem(6), true);
    rig.factory->platform->add("a", 0x1, 0);
    ASSERT_TRUE(rig.listen());
    rig.drain();
    EXPECT_TRUE(rig.events.log.empty());
    auto devices = rig.manager->getDevices();
    ASSERT_EQ(devices.size(), 1u);
    EXPECT_EQ(rig.factory->path_of(devices[0]), "a");

    // Later arrivals reach it, queued subscribers included.
    Events queued(*rig.factory);
    ASSERT_TRUE(queued.Subscriber<IDeviceManager::ArrivalRemoval>::subscribe(rig.manager, 0, "queued"));
    EXPECT_TRUE(queued.log.empty());
    rig.factory->platform->plug(rig.factory->platform->add("b", 0x2, 0));
    rig.drain();
    EXPECT_EQ(rig.events.log, (std::vector<std::string>{"+b"}));
    EXPECT_EQ(queued.log, (std::vector<std::string>{"+b"}));
}

TEST(CoreDeviceManager, ReceiverArrivesBeforeAndLeavesAfterItsDevices)
{
    Rig rig;
    rig.manager->setConfig(ConfigItem(5), true);
    auto receiverHw = rig.factory->platform->add("rcv", 0xC510, 0);
    rig.factory->platform->add("mouse-usb", 0xC5AA, 0); // receiver range, not in the table
    auto rbus = rig.factory->receiver_buses["rcv"] = std::make_shared<FakeBus>();
    rbus->add("rcv#2", 0x4002, 1);
    rbus->add("rcv#1", 0x4001, 1);
    ASSERT_TRUE(rig.listen());
    // The initial enumeration ran inside the first subscription: replay it as plug events.
    rig.events.log.clear();
    rig.factory->platform->unplug(receiverHw);
    rig.factory->platform->plug(receiverHw);
    rig.drain();
    EXPECT_EQ(rig.events.log, (std::vector<std::string>{"-rcv#1", "-rcv#2", "-rcv", "+rcv", "+rcv#2", "+rcv#1"}));

    auto devices = rig.manager->getDevices();
    std::shared_ptr<IDevice> receiver, plain;
    for (auto& d : devices) {
        if (rig.factory->path_of(d) == "rcv")
            receiver = d;
        if (rig.factory->path_of(d) == "mouse-usb")
            plain = d;
    }
    ASSERT_TRUE(receiver && plain);
    EXPECT_EQ(rig.manager->getChildDevices(receiver).size(), 2u);
    EXPECT_TRUE(rig.manager->getChildDevices(plain).empty());

    // A device announced on the receiver's bus later arrives too.
    rbus->plug(rbus->add("rcv#3", 0x4003, 1));
    rig.drain();
    EXPECT_EQ(rig.events.log.back(), "+rcv#3");

    // Unplug by path, with a fresh object: paired devices leave first, in path order.
    rig.events.log.clear();
    rig.factory->platform->unplug(std::make_shared<FakeHardware>("rcv", 0xC510, 0));
    rig.drain();
    EXPECT_EQ(rig.events.log, (std::vector<std::string>{"-rcv#1", "-rcv#2", "-rcv#3", "-rcv"}));
    // The receiver's bus is gone: its late plug events create nothing.
    rbus->plug(rbus->add("rcv#4", 0x4004, 1));
    rig.drain();
    EXPECT_EQ(rig.events.log.back(), "-rcv");
}

TEST(CoreDeviceManager, RetriesAFailingReceiverOnAGrowingSchedule)
{
    ScaledTime scale(100); // 20 ms, 80 ms, ...
    Rig rig;
    rig.manager->setConfig(ConfigItem(5), true);
    auto rbus = rig.factory->receiver_buses["rcv"] = std::make_shared<FakeBus>();
    rbus->add("rcv#1", 0x4001, 1);
    rbus->failures = 2;
    ASSERT_TRUE(rig.listen());
    rig.factory->platform->plug(rig.factory->platform->add("rcv", 0xC510, 0));
    rig.drain();
    EXPECT_EQ(rig.events.log, (std::vector<std::string>{"+rcv"}));
    ASSERT_TRUE(rig.pump_until([&] { return rig.events.log.size() == 2; }));
    EXPECT_EQ(rig.events.log.back(), "+rcv#1");
    ASSERT_EQ(rbus->enumerate_times.size(), 3u);
    using std::chrono::milliseconds;
    EXPECT_GE(rbus->enumerate_times[1] - rbus->enumerate_times[0], milliseconds(20));
    EXPECT_GE(rbus->enumerate_times[2] - rbus->enumerate_times[1], milliseconds(80)); // 2000 << 2, not << 1
    EXPECT_TRUE(rig.events.errors.empty());
}

TEST(CoreDeviceManager, GivesUpAfterTheTenthFailure)
{
    ScaledTime scale(4000);
    Rig rig;
    rig.manager->setConfig(ConfigItem(5), true);
    rig.factory->platform->add("rcv", 0xC510, 0);
    auto rbus = rig.factory->receiver_buses["rcv"] = std::make_shared<FakeBus>();
    rbus->failures = 1000;
    ASSERT_TRUE(rig.listen());
    ASSERT_TRUE(rig.pump_until([&] { return rig.events.errors.size() == 2; }));
    EXPECT_EQ(rbus->enumerations, 10);
    EXPECT_EQ(rig.events.errors[0], "RavelinBus|77|Ravelin device enumeration failed after max retry attempts");
    EXPECT_EQ(rig.events.errors[1],
              "DeviceManager::addBus retry failed all attempts|77|Ravelin device enumeration failed after max retry attempts");
}

TEST(CoreDeviceManager, RemovedReceiverIsNotRetried)
{
    ScaledTime scale(100);
    Rig rig;
    rig.manager->setConfig(ConfigItem(5), true);
    auto hw = rig.factory->platform->add("rcv", 0xC510, 0);
    auto rbus = rig.factory->receiver_buses["rcv"] = std::make_shared<FakeBus>();
    rbus->failures = 1000;
    ASSERT_TRUE(rig.listen());
    rig.factory->platform->unplug(hw);
    rig.drain();
    // Let the armed retry run: it must find nothing to retry.
    rig.pump_until([] { return false; }, std::chrono::milliseconds(100));
    EXPECT_EQ(rbus->enumerations, 1);
}

TEST(CoreDeviceManager, RemovedBusLeavesNoLateDevices)
{
    Rig rig;
    rig.manager->setConfig(ConfigItem(6), true);
    auto extra = std::make_shared<FakeBus>();
    extra->set_run_loop(rig.manager);
    extra->add("a", 0x1, 0);
    ASSERT_TRUE(rig.listen());
    ASSERT_TRUE(rig.manager->addBus(extra));
    extra->plug(extra->add("b", 0x2, 0)); // queued, not yet delivered
    rig.manager->removeBus(extra);
    rig.drain();
    EXPECT_EQ(rig.events.log, (std::vector<std::string>{"+a", "-a"}));
    EXPECT_EQ(extra->subscriber_count(), 0u);
}

TEST(CoreDeviceManager, FailedStartTakesBackWhatItAdded)
{
    Rig rig;
    rig.manager->setConfig(ConfigItem(6), true);
    rig.factory->platform->add("usb", 0x1, 0);
    auto secondary = std::make_shared<FakeBus>();
    secondary->set_run_loop(rig.manager);
    secondary->failures = 1;
    rig.factory->platform->secondary = {secondary};
    EXPECT_FALSE(rig.listen());
    EXPECT_EQ(last_error().code, 6u);
    EXPECT_FALSE(rig.manager->is_started());
    EXPECT_EQ(rig.factory->platform->subscriber_count(), 0u);
    EXPECT_EQ(secondary->subscriber_count(), 0u);

    // The next arrival subscriber tries again; the device left with the rolled-back bus,
    // so it is made afresh rather than taken for a duplicate.
    EXPECT_TRUE(rig.listen());
    EXPECT_EQ(rig.manager->getDevices().size(), 1u);
    EXPECT_EQ(rig.factory->platform_made, 2);
    EXPECT_EQ(rig.factory->made.size(), 2u);
}

TEST(CoreDeviceManager, ConfigurationItems)
{
    Rig rig;
    bool v = false;
    EXPECT_TRUE(rig.manager->getDefaultConfig(ConfigItem(2), &v));
    EXPECT_TRUE(v);
    rig.manager->getDefaultConfig(ConfigItem(8), &v);
    EXPECT_TRUE(v);
    rig.manager->getDefaultConfig(ConfigItem(11), &v);
    EXPECT_FALSE(v);
    rig.manager->getConfig(ConfigItem(10), &v);
    EXPECT_FALSE(v);
    EXPECT_TRUE(rig.manager->getConfig(ConfigItem(3), nullptr));

    ASSERT_TRUE(rig.listen());
    EXPECT_EQ(rig.factory->platform_made, 1);
    rig.manager->setConfig(ConfigItem(2), true); // unchanged
    rig.manager->setConfig(ConfigItem(4), true);
    rig.manager->setConfig(ConfigItem(8), false);
    rig.manager->setConfig(ConfigItem(42), true);
    EXPECT_EQ(rig.factory->platform_made, 1);
    rig.manager->setConfig(ConfigItem(7), true);
    EXPECT_EQ(rig.factory->platform_made, 2);
    EXPECT_EQ(rig.events.config, (std::vector<std::pair<int, bool>>{{4, true}, {8, false}, {42, true}, {7, true}}));
    rig.manager->getConfig(ConfigItem(42), &v);
    EXPECT_TRUE(v);
    rig.manager->getDefaultConfig(ConfigItem(8), &v);
    EXPECT_TRUE(v); // defaults stay
}

TEST(CoreDeviceManager, SoftwareIdsAndActiveFlag)
{
    Rig rig;
    const auto id = rig.manager->getSoftwareId();
    EXPECT_GE(id, 10u);
    EXPECT_LE(id, 14u);
    EXPECT_EQ(rig.manager->getSoftwareId(), id);
    rig.manager->setSoftwareId(0x1B);
    EXPECT_EQ(rig.manager->getSoftwareId(), 11u);
    rig.manager->setSoftwareId(0);
    const auto again = rig.manager->getSoftwareId();
    EXPECT_TRUE(again >= 10u && again <= 14u);

    ASSERT_TRUE(rig.listen());
    EXPECT_TRUE(rig.manager->is_active());
    rig.manager->set_active(false);
    rig.manager->set_active(false);
    EXPECT_EQ(rig.events.active, (std::vector<bool>{false}));
    rig.manager->set_active(true);
    rig.manager->set_active(true);
    EXPECT_EQ(rig.events.active, (std::vector<bool>{false, true, true}));
    // Becoming active asks the buses to enumerate again, on the run loop.
    const int before = rig.factory->platform->enumerations;
    rig.drain();
    EXPECT_EQ(rig.factory->platform->enumerations, before + 2);
}

TEST(CoreDeviceManager, PowerLossReplaysConnectionsAndDirectoriesReachEveryone)
{
    Rig rig;
    rig.manager->setConfig(ConfigItem(5), true);
    rig.manager->setConfig(ConfigItem(6), true);
    rig.factory->platform->add("usb", 0x1, 0);
    rig.factory->platform->add("rcv", 0xC511, 0);
    auto rbus = rig.factory->receiver_buses["rcv"] = std::make_shared<FakeBus>();
    rbus->add("rcv#1", 0x4001, 1);
    ASSERT_TRUE(rig.listen());

    rig.factory->platform->power(true);
    rig.drain();
    for (auto& [k, d] : rig.factory->made)
        EXPECT_EQ(d->replayed, 0);
    rig.factory->platform->power(false);
    rig.drain();
    for (auto& [k, d] : rig.factory->made)
        EXPECT_EQ(d->replayed, 1) << d->path;
    EXPECT_EQ(rbus->enumerations, 2);

    rig.manager->setCacheDirectory("C:\\cache");
    for (auto& [k, d] : rig.factory->made)
        EXPECT_EQ(d->cache_directory, "C:\\cache/");
    EXPECT_EQ(rig.factory->platform->data_directory, "C:\\cache/");
    EXPECT_EQ(rbus->data_directory, "C:\\cache/");
    rig.manager->setCacheDirectory("d\\");
    EXPECT_EQ(rbus->data_directory, "d\\");

    // The end of the manager releases every device and announces no removals.
    auto factory = rig.factory;
    rig.events.log.clear();
    rig.manager.reset();
    EXPECT_TRUE(rig.events.log.empty());
    for (auto& [k, d] : factory->made)
        EXPECT_EQ(d->released, 1) << d->path;
}

TEST(CoreDeviceManager, DeviceListRefreshesAndClearsTheError)
{
    Rig rig;
    set_last_error(9, 9, "stale");
    EXPECT_TRUE(rig.manager->getDevices().empty());
    EXPECT_EQ(last_error().code, 0u);
    EXPECT_EQ(last_error().text, nullptr);
    EXPECT_EQ(rig.factory->platform->refreshes, 1);
}

TEST(CoreDeviceManager, PairingBusPassesItsChildsDevicesAndEventsOn)
{
    Rig rig;
    rig.manager->setConfig(ConfigItem(6), true);
    rig.manager->setConfig(ConfigItem(1), true);
    auto child = std::make_shared<FakeBus>();
    child->set_run_loop(rig.manager);
    child->add("a", 0x1, 0);
    auto pairing = std::make_shared<PairingBus>(rig.manager, child);
    EXPECT_TRUE(pairing->getBluetoothBuses().empty());
    EXPECT_FALSE(pairing->needsCombiner());
    EXPECT_TRUE(pairing->getSecondaryBuses().empty());

    ASSERT_TRUE(rig.events.Subscriber<IDeviceManager::ArrivalRemoval>::subscribe(rig.manager, 1, "arrivals"));
    ASSERT_TRUE(rig.manager->addBus(pairing));
    EXPECT_EQ(rig.events.log, (std::vector<std::string>{"+a"}));
    EXPECT_EQ(child->data_directory, "<unset>");
    // Plug events of the child reach the manager through the run loop, in order.
    child->plug(child->add("b", 0x2, 0));
    child->unplug(child->devices[0]);
    rig.drain();
    EXPECT_EQ(rig.events.log, (std::vector<std::string>{"+a", "+b", "-a"}));
    // Leaving the pairing bus removes its devices (they belong to it); nothing more comes through.
    rig.manager->removeBus(pairing);
    child->plug(child->add("c", 0x3, 0));
    rig.drain();
    EXPECT_EQ(rig.events.log, (std::vector<std::string>{"+a", "+b", "-a", "-b"}));
    EXPECT_EQ(pairing->subscriber_count(), 0u);
}

TEST(CoreFacade, CreatesTheManagerOnlyWhenNeeded)
{
    auto factory = std::make_shared<FakeFactory>();
    factory->platform = std::make_shared<FakeBus>();
    int made = 0;
    CDevio facade([&] {
        ++made;
        return std::make_shared<DeviceManager>(factory);
    });
    facade.process();
    facade.flush(nullptr, nullptr);
    facade.post([] { return true; }, nullptr, nullptr, "x");
    facade.reportError("nothing");
    facade.removeBus(factory->platform);
    EXPECT_EQ(made, 0);

    EXPECT_TRUE(facade.getDevices().empty());
    EXPECT_EQ(made, 1);
    auto first = facade.get_existing_manager();
    ASSERT_TRUE(first);
    EXPECT_TRUE(first->lock_run_loop() == first); // its own run loop

    // Another thread keeps the old manager through close.
    auto held = facade.get_or_create_manager();
    facade.close();
    EXPECT_FALSE(facade.get_existing_manager());
    EXPECT_EQ(held->getSoftwareId(), held->getSoftwareId());
    std::weak_ptr<DeviceManager> weakOld = held;
    first.reset();
    held.reset();
    EXPECT_TRUE(weakOld.expired());

    factory->platform->set_run_loop(std::weak_ptr<IRunLoopManager>());
    EXPECT_TRUE(facade.setConfig(ConfigItem(6), true));
    EXPECT_EQ(made, 2);
}

TEST(CoreFacade, CloseDropsQueuedWorkAndRefusesCreationMeanwhile)
{
    CDevio facade;
    auto manager = facade.get_or_create_manager();
    ErrorCode seenDuringClose = 0;
    bool managerDuringClose = true;
    struct OnDrop {
        std::function<void()> fn;
        ~OnDrop() { fn(); }
    };
    auto probe = std::make_shared<OnDrop>();
    probe->fn = [&] {
        set_last_error(0, 0, nullptr);
        managerDuringClose = facade.get_or_create_manager() != nullptr;
        seenDuringClose = last_error().code;
    };
    bool ran = false;
    facade.post([probe, &ran] { ran = true; return true; }, nullptr, nullptr, "dropped");
    probe.reset();
    manager.reset();
    facade.close();
    EXPECT_FALSE(ran);
    EXPECT_FALSE(managerDuringClose);
    EXPECT_EQ(seenDuringClose, 72u);
    EXPECT_TRUE(facade.get_or_create_manager());
}

// A delivery on another thread may hold the manager for a moment as the host closes the
// facade: the buses and devices still end on the host's thread, not later in that delivery.
TEST(CoreFacade, CloseEndsBusesAndDevicesOnItsThreadWhileTheManagerIsHeldElsewhere)
{
    auto factory = std::make_shared<FakeFactory>();
    factory->platform = std::make_shared<FakeBus>();
    factory->platform->add("a", 0x1, 0);
    CDevio facade([&] { return std::make_shared<DeviceManager>(factory); });
    std::shared_ptr<DeviceManager> held = facade.get_or_create_manager();
    factory->platform->set_run_loop(held);
    held->setConfig(ConfigItem(6), true);
    ASSERT_TRUE(held->start());
    ASSERT_EQ(held->getDevices().size(), 1u);
    ASSERT_EQ(factory->made.size(), 1u);

    facade.close();
    EXPECT_EQ(factory->platform->subscriber_count(), 0u);
    EXPECT_TRUE(held->getDevices().empty());
    EXPECT_EQ(factory->made.begin()->second->released, 1);
    // Work posted by the late holder is refused, and releasing it ends nothing twice.
    held->post([] { return true; }, nullptr, nullptr, "late");
    EXPECT_EQ(held->queued_count(), 0u);
    held.reset();
    EXPECT_EQ(factory->made.begin()->second->released, 1);
}
