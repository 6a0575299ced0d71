#include "DeviceTestSupport.h"

#include "core/ErrorRecord.h"
#include "device/CombinerBus.h"
#include "device/CombinerDevice.h"
#include "features/Feature.h"

#include <future>
#include <thread>

using namespace devio;
using namespace devio::test;

namespace {

class FakeCollection : public IHardwareDevice,
                       public Producer<IHardwareDevice::Connect>,
                       public Producer<IHardwareDevice::FastDisconnect>,
                       public Producer<IHardwareDevice::Read>,
                       public Producer<IHardwareDevice::Write> {
public:
    FakeCollection(std::string path, std::string parent, std::uint32_t usage, std::uint32_t kind, std::uint32_t maxLength)
        : m_path(std::move(path)), m_parent(std::move(parent)), m_usage(usage), m_kind(kind), m_max(maxLength)
    {
    }
    bool isConnected() override { return true; }
    bool open() override { return m_openable; }
    void close() override {}
    void set_openable(bool on) { m_openable = on; }
    bool write(std::vector<Byte> report, bool) override
    {
        std::shared_ptr<platform::sim::SimProtocolDevice> model;
        {
            std::lock_guard<std::mutex> lock(m_mutex);
            m_writes.push_back(report);
            model = m_model;
        }
        return !model || model->write(report);
    }
    // Writes reach the model; with `self`, its replies come back as this collection's reads.
    void connect_model(std::shared_ptr<platform::sim::SimProtocolDevice> model, std::shared_ptr<FakeCollection> self)
    {
        std::weak_ptr<FakeCollection> weak = self;
        if (self)
            model->set_sink([weak](const platform::sim::Bytes& report) {
                if (auto collection = weak.lock())
                    collection->read(report);
            });
        std::lock_guard<std::mutex> lock(m_mutex);
        m_model = std::move(model);
    }
    std::shared_ptr<IHardwareBus> getBus() override { return nullptr; }
    std::string getPath() override { return m_path; }
    std::uint16_t getProductId() override { return 0x4001; }
    std::string getName() override { return "kb"; }
    std::shared_ptr<IDataRequest<std::string>> nameRequest() override { return make_data_success(std::string("kb")); }
    std::uint32_t getTransportType() override { return 0; }
    std::uint32_t getSubIndex() override { return 0; }
    std::string getParentId() override { return m_parent; }
    std::uint32_t getUsage() override { return m_usage; }
    std::uint32_t getProtocolKind() override { return m_kind; }
    std::uint32_t getMaxReportLength() override { return m_max; }

    void read(const std::vector<Byte>& report)
    {
        Producer<IHardwareDevice::Read>::notify([report](IHardwareDevice::Read* s) { s->onRead(report, false, 0, 0); },
                                                "test");
    }
    std::size_t writes()
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        return m_writes.size();
    }

private:
    std::string m_path, m_parent;
    std::uint32_t m_usage, m_kind, m_max;
    std::atomic<bool> m_openable{true};
    std::mutex m_mutex;
    std::vector<std::vector<Byte>> m_writes;
    std::shared_ptr<platform::sim::SimProtocolDevice> m_model;
};

class FakeBus : public IHardwareBus, public Producer<IHardwareBus::PlugUnplug> {
public:
    std::vector<std::shared_ptr<IHardwareDevice>> enumerate() override
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        return m_present;
    }
    void plug(std::shared_ptr<IHardwareDevice> d)
    {
        {
            std::lock_guard<std::mutex> lock(m_mutex);
            m_present.push_back(d);
        }
        Producer<IHardwareBus::PlugUnplug>::notify([d](IHardwareBus::PlugUnplug* s) { s->onPlug(d); }, "test");
    }
    void unplug(std::shared_ptr<IHardwareDevice> d)
    {
        {
            std::lock_guard<std::mutex> lock(m_mutex);
            m_present.erase(std::remove(m_present.begin(), m_present.end(), d), m_present.end());
        }
        Producer<IHardwareBus::PlugUnplug>::notify([d](IHardwareBus::PlugUnplug* s) { s->onUnplug(d); }, "test");
    }
    void power(bool on)
    {
        Producer<IHardwareBus::PlugUnplug>::notify([on](IHardwareBus::PlugUnplug* s) { s->onPowerChange(on); }, "test");
    }

private:
    std::mutex m_mutex;
    std::vector<std::shared_ptr<IHardwareDevice>> m_present;
};

class PlugLog : public Subscriber<IHardwareBus::PlugUnplug>, public Subscriber<IHardwareDevice::Read> {
public:
    void onPlug(std::shared_ptr<IHardwareDevice> d) override { add("plug " + d->getPath(), d); }
    void onUnplug(std::shared_ptr<IHardwareDevice> d) override { add("unplug " + d->getPath(), d); }
    void onPowerChange(bool on) override { add(on ? "power on" : "power off", nullptr); }
    void onRead(std::vector<Byte> report, bool, unsigned, unsigned) override { add("read " + std::to_string(report.size()), nullptr); }
    bool wait_count(std::size_t n)
    {
        std::unique_lock<std::mutex> lock(m_mutex);
        return m_condition.wait_for(lock, 10s, [&] { return m_events.size() >= n; });
    }
    std::vector<std::string> events()
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        return m_events;
    }
    std::shared_ptr<IHardwareDevice> last;

private:
    void add(const std::string& e, std::shared_ptr<IHardwareDevice> d)
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_events.push_back(e);
        if (d)
            last = d;
        m_condition.notify_all();
    }
    std::mutex m_mutex;
    std::condition_variable m_condition;
    std::vector<std::string> m_events;
};

// A combiner bus over a fake child bus, both on the host manager's run loop.
struct CombinerRig {
    CombinerRig()
    {
        child->set_run_loop(std::weak_ptr<IRunLoopManager>(manager));
        bus = CombinerBus::create(manager, child);
    }
    bool watch(PlugLog& log)
    {
        return log.Subscriber<IHardwareBus::PlugUnplug>::subscribe(std::shared_ptr<IHardwareBus>(bus), 1, "test");
    }
    std::shared_ptr<HostManager> manager = HostManager::create();
    std::shared_ptr<FakeBus> child = std::make_shared<FakeBus>();
    std::shared_ptr<CombinerBus> bus;
};

// A combined device that stops inside its Read subscription hook, so that a test can let the
// last subscriber leave before the producer has stored the arriving one.
class PausingCombiner : public CombinerDevice {
public:
    using CombinerDevice::CombinerDevice;
    std::atomic<bool> pause{false};
    std::promise<void> entered;
    std::promise<void> release;

protected:
    bool on_subscribe(IHardwareDevice::Read* subscriber) override
    {
        const bool ok = CombinerDevice::on_subscribe(subscriber);
        if (pause.exchange(false)) {
            entered.set_value();
            release.get_future().wait();
        }
        return ok;
    }
};

} // namespace

TEST(Combiner, ASubscriberArrivingAsTheLastOneLeavesStillGetsReads)
{
    auto collection = std::make_shared<FakeCollection>("kb-2", "usb-kb", 2, 2, 20);
    auto combined = std::make_shared<PausingCombiner>(collection, std::weak_ptr<IHardwareBus>());
    ASSERT_TRUE(combined->add_member(collection));
    std::shared_ptr<IHardwareDevice> device = combined;
    PlugLog leaving, arriving;
    ASSERT_TRUE(leaving.Subscriber<IHardwareDevice::Read>::subscribe(device, 1, "leaving"));

    combined->pause = true;
    auto entered = combined->entered.get_future();
    std::thread subscriber([&] {
        EXPECT_TRUE(arriving.Subscriber<IHardwareDevice::Read>::subscribe(device, 1, "arriving"));
    });
    ASSERT_EQ(entered.wait_for(10s), std::future_status::ready);
    leaving.Subscriber<IHardwareDevice::Read>::unsubscribe(device);
    combined->release.set_value();
    subscriber.join();

    collection->read(std::vector<Byte>(20, 0));
    ASSERT_TRUE(arriving.wait_count(1));
    EXPECT_EQ(arriving.events(), (std::vector<std::string>{"read 20"}));
    arriving.Subscriber<IHardwareDevice::Read>::unsubscribe(device);
}

TEST(Combiner, CollectionsOfOneDeviceBecomeOneWhenComplete)
{
    CombinerRig rig;
    PlugLog log;
    ASSERT_TRUE(rig.watch(log));

    auto shortReports = std::make_shared<FakeCollection>("kb-1", "usb-kb", 1, 3, 7);
    auto longReports = std::make_shared<FakeCollection>("kb-2", "usb-kb", 2, 3, 20);
    auto whole = std::make_shared<FakeCollection>("mouse", "usb-mouse", 2, 2, 20);

    rig.child->plug(whole);  // needs no partner: passes through
    ASSERT_TRUE(log.wait_count(1));
    rig.child->plug(shortReports);
    rig.child->plug(longReports);
    ASSERT_TRUE(log.wait_count(2));
    EXPECT_EQ(log.events(), (std::vector<std::string>{"plug mouse", "plug usb-kb"}));
    auto combined = std::dynamic_pointer_cast<CombinerDevice>(log.last);
    ASSERT_TRUE(combined);
    std::vector<std::string> paths;
    combined->appendPaths(paths);
    EXPECT_EQ(paths, (std::vector<std::string>{"kb-1", "kb-2"}));

    // Writes by length; too long for every member: error 25.
    EXPECT_TRUE(combined->write(std::vector<Byte>(7, 0x10), true));
    EXPECT_TRUE(combined->write(std::vector<Byte>(20, 0x11), true));
    EXPECT_EQ(shortReports->writes(), 1u);
    EXPECT_EQ(longReports->writes(), 1u);
    EXPECT_FALSE(combined->write(std::vector<Byte>(21, 0x11), true));
    EXPECT_EQ(last_error().code, 25u);

    // Reads of every member reach the combined device's subscribers.
    ASSERT_TRUE(log.Subscriber<IHardwareDevice::Read>::subscribe(std::shared_ptr<IHardwareDevice>(combined), 1, "test"));
    longReports->read(std::vector<Byte>(20, 0));
    shortReports->read(std::vector<Byte>(7, 0));
    ASSERT_TRUE(log.wait_count(4));

    rig.child->unplug(shortReports);
    ASSERT_TRUE(log.wait_count(6));
    EXPECT_EQ(log.events()[4], "unplug kb-1");
    EXPECT_EQ(log.events()[5], "unplug usb-kb");
    EXPECT_EQ(rig.bus->enumerate().size(), 1u);  // the mouse
    rig.child->unplug(longReports);
    ASSERT_TRUE(log.wait_count(7));
    EXPECT_EQ(log.events().size(), 7u);  // no second announcement of the combined device
    log.Subscriber<IHardwareDevice::Read>::unsubscribe(std::shared_ptr<IHardwareDevice>(combined));
    log.Subscriber<IHardwareBus::PlugUnplug>::unsubscribe(std::shared_ptr<IHardwareBus>(rig.bus));
    rig.manager->shutdown();
}

TEST(Combiner, DeviceOverCombinedCollectionsConnectsAndAnswers)
{
    ScaledTiming timing;
    CombinerRig rig;
    auto model = std::make_shared<platform::sim::SimProtocolDevice>(platform::sim::sim_keyboard_config());
    // Collections without a run loop of their own, as the combined device sees them.
    auto shortReports = std::make_shared<FakeCollection>("kb-1", "usb-kb", 1, 3, 7);
    auto longReports = std::make_shared<FakeCollection>("kb-2", "usb-kb", 2, 3, 20);
    shortReports->connect_model(model, nullptr);
    longReports->connect_model(model, longReports);  // replies are long reports
    rig.child->plug(shortReports);
    rig.child->plug(longReports);
    const auto found = rig.bus->enumerate();
    ASSERT_EQ(found.size(), 1u);

    // The device's queued Connect subscription needs the combined device's run loop.
    auto device = Device::create(rig.manager, found[0], rig.manager->config());
    device->initDevice(rig.manager);
    device->attach();
    EXPECT_TRUE(rig.manager->errors().empty());
    auto battery = device->getFeatureSync(0x1000);
    ASSERT_TRUE(battery);
    EXPECT_EQ(battery->feature_index(), 5);
    EXPECT_GT(shortReports->writes(), 0u);

    device.reset();
    model->set_sink(nullptr);
    rig.manager->shutdown();
}

// A collection that comes back rejoins the combined device it left: announced again, and its
// reports reach the subscribers the combined device already had.
TEST(Combiner, ReturningCollectionRejoinsAndForwardsToExistingSubscribers)
{
    CombinerRig rig;
    PlugLog log;
    ASSERT_TRUE(rig.watch(log));

    auto shortReports = std::make_shared<FakeCollection>("kb-1", "usb-kb", 1, 3, 7);
    auto longReports = std::make_shared<FakeCollection>("kb-2", "usb-kb", 2, 3, 20);
    rig.child->plug(shortReports);
    rig.child->plug(longReports);
    ASSERT_TRUE(log.wait_count(1));
    auto combined = log.last;
    ASSERT_TRUE(log.Subscriber<IHardwareDevice::Read>::subscribe(combined, 1, "test"));

    rig.child->unplug(shortReports);
    ASSERT_TRUE(log.wait_count(3));
    auto again = std::make_shared<FakeCollection>("kb-1b", "usb-kb", 1, 3, 7);
    rig.child->plug(again);
    ASSERT_TRUE(log.wait_count(4));
    EXPECT_EQ(log.events()[3], "plug usb-kb");
    EXPECT_EQ(log.last, combined);
    again->read(std::vector<Byte>(7, 0));
    ASSERT_TRUE(log.wait_count(5));
    EXPECT_EQ(log.events()[4], "read 7");
    EXPECT_TRUE(combined->write(std::vector<Byte>(7, 0x10), true));
    EXPECT_EQ(again->writes(), 1u);

    // Power changes pass through; a collection that cannot be opened is ignored.
    rig.child->power(false);
    ASSERT_TRUE(log.wait_count(6));
    EXPECT_EQ(log.events()[5], "power off");
    auto broken = std::make_shared<FakeCollection>("m-1", "usb-m", 3, 3, 20);
    broken->set_openable(false);
    rig.child->plug(broken);
    rig.child->power(true);
    ASSERT_TRUE(log.wait_count(7));
    EXPECT_EQ(log.events()[6], "power on");
    EXPECT_TRUE(rig.manager->errors().empty());

    log.Subscriber<IHardwareDevice::Read>::unsubscribe(combined);
    log.Subscriber<IHardwareBus::PlugUnplug>::unsubscribe(std::shared_ptr<IHardwareBus>(rig.bus));
    rig.manager->shutdown();
}

namespace {

// A Read subscriber that, once armed, leaves the device from inside a delivery: the way a bus
// leaves a receiver whose last reply ended the session.
class LeavingOnRead : public Subscriber<IHardwareDevice::Read> {
public:
    explicit LeavingOnRead(std::shared_ptr<IHardwareDevice> device) : m_device(std::move(device)) {}
    ~LeavingOnRead() override { stop_deliveries(); }
    void onRead(std::vector<Byte>, bool, unsigned, unsigned) override
    {
        if (!armed.exchange(false))
            return;
        unsubscribe(m_device);
        std::lock_guard<std::mutex> lock(m_mutex);
        ++m_left;
        m_condition.notify_all();
    }
    bool wait_left(int n)
    {
        std::unique_lock<std::mutex> lock(m_mutex);
        return m_condition.wait_for(lock, 10s, [&] { return m_left >= n; });
    }
    std::atomic<bool> armed{false};

private:
    std::shared_ptr<IHardwareDevice> m_device;
    std::mutex m_mutex;
    std::condition_variable m_condition;
    int m_left = 0;
};

} // namespace

// Two members deliver on their own threads while the only subscriber comes, goes, and leaves
// from inside deliveries, and a member leaves and returns. Nothing deadlocks (ThreadSanitizer
// sees every lock order), and afterwards a subscriber gets every member's reads and the last
// one leaving unsubscribes the device from its members.
TEST(Combiner, SubscribersComingAndGoingWhileMembersDeliverAndLeave)
{
    auto first = std::make_shared<FakeCollection>("kb-1", "usb-kb", 1, 3, 7);
    auto second = std::make_shared<FakeCollection>("kb-2", "usb-kb", 2, 3, 20);
    auto combined = std::make_shared<CombinerDevice>(first, std::weak_ptr<IHardwareBus>());
    ASSERT_TRUE(combined->add_member(second));
    std::shared_ptr<IHardwareDevice> device = combined;
    LeavingOnRead leaver(device);

    constexpr int kRounds = 200;
    std::atomic<int> churned{0};
    auto deliver = [&](const std::shared_ptr<FakeCollection>& member, std::size_t length) {
        // Reads keep coming until the other threads are through.
        while (churned.load() < 2)
            member->read(std::vector<Byte>(length, 0));
    };
    std::thread readerOne(deliver, first, 7);
    std::thread readerTwo(deliver, second, 20);
    std::thread subscriber([&] {
        // Every other round the subscriber stays until a delivery makes it leave.
        for (int i = 0; i < kRounds; ++i) {
            const bool stays = i % 2 == 0;
            leaver.armed = stays;
            EXPECT_TRUE(leaver.subscribe(device, 1, "leaver"));
            if (!stays) {
                leaver.unsubscribe(device);
            } else if (!leaver.wait_left(i / 2 + 1)) {
                ADD_FAILURE() << "no delivery made the subscriber leave in round " << i;
                break;
            }
        }
        ++churned;
    });
    std::thread members([&] {
        for (int i = 0; i < kRounds / 3; ++i) {
            EXPECT_FALSE(combined->remove_member(second));
            EXPECT_TRUE(combined->add_member(second));
        }
        ++churned;
    });
    subscriber.join();
    members.join();
    readerOne.join();
    readerTwo.join();
    leaver.unsubscribe(device);

    PlugLog log;
    ASSERT_TRUE(log.Subscriber<IHardwareDevice::Read>::subscribe(device, 1, "test"));
    first->read(std::vector<Byte>(7, 0));
    second->read(std::vector<Byte>(20, 0));
    ASSERT_TRUE(log.wait_count(2));
    EXPECT_EQ(log.events(), (std::vector<std::string>{"read 7", "read 20"}));
    log.Subscriber<IHardwareDevice::Read>::unsubscribe(device);
    EXPECT_EQ(first->Producer<IHardwareDevice::Read>::subscriber_count(), 0u);
    EXPECT_EQ(second->Producer<IHardwareDevice::Read>::subscriber_count(), 0u);
}

namespace {

// Holds the only reference to the combined device and lets go of it in the first read it gets,
// as a receiver bus does when its last owner left while it handled a report.
class LastOwner : public Subscriber<IHardwareDevice::Read> {
public:
    ~LastOwner() override { unsubscribe_all(); }
    void onRead(std::vector<Byte>, bool, unsigned, unsigned) override
    {
        std::shared_ptr<IHardwareDevice> device;
        {
            std::lock_guard<std::mutex> lock(m_mutex);
            device.swap(owned);
        }
        if (device)
            ++reads;
    }
    std::mutex m_mutex;
    std::shared_ptr<IHardwareDevice> owned;
    std::atomic<int> reads{0};
};

} // namespace

// The device ends after the delivery in which its last owner let go, while the other member
// keeps delivering on its own thread: never inside a delivery, never under another's call.
TEST(Combiner, LastOwnerLettingGoInsideADeliveryEndsTheDeviceAfterIt)
{
    for (int round = 0; round < 20; ++round) {
        SCOPED_TRACE(round);
        auto first = std::make_shared<FakeCollection>("kb-1", "usb-kb", 1, 3, 7);
        auto second = std::make_shared<FakeCollection>("kb-2", "usb-kb", 2, 3, 20);
        auto combined = std::make_shared<CombinerDevice>(first, std::weak_ptr<IHardwareBus>());
        ASSERT_TRUE(combined->add_member(second));
        std::weak_ptr<CombinerDevice> watch = combined;
        LastOwner owner;
        ASSERT_TRUE(owner.subscribe(std::shared_ptr<IHardwareDevice>(combined), 1, "owner"));
        owner.owned = std::move(combined);

        std::atomic<bool> done{false};
        std::thread other([&] {
            while (!done.load())
                second->read(std::vector<Byte>(20, 0));
        });
        while (!watch.expired())
            first->read(std::vector<Byte>(7, 0));
        done = true;
        other.join();
        EXPECT_EQ(owner.reads.load(), 1);
        EXPECT_EQ(first->Producer<IHardwareDevice::Read>::subscriber_count(), 0u);
        EXPECT_EQ(second->Producer<IHardwareDevice::Read>::subscriber_count(), 0u);
    }
}
