// The HID bus let go while its window thread and the readers of its devices run, and a
// receiver with a paired keyboard under a running device manager over the HID bus: the
// receiver leaving (surprise and orderly) with a request in flight, a power resume, the buses
// rebuilt after a configuration change, and the manager let go while its window thread,
// readers and request workers run. Also the write confirmations relayed to a paired device.
#include "ManagerTestSupport.h"
#include "ReceiverRig.h"

#include "Windows/Win32Bus.h"
#include "Windows/Win32Device.h"

#include "core/DeviceManager.h"
#include "core/Subscriber.h"
#include "core/Timing.h"
#include "wiring/PlatformDeviceFactory.h"
#include "device/IDevice.h"
#include "devices/SimHidReceiver.h"
#include "quillon/ProductIds.h"

#include <sim/DeviceTree.h>
#include <sim/HidCollection.h>
#include <sim/Kernel.h>

#include <gtest/gtest.h>

#include <future>

namespace devio::test {
namespace {

using platform::sim::Removal;

// A root-feature request (function 0 for feature 0x0001) that the paired keyboard answers.
std::vector<Byte> root_request()
{
    return {0x10, 0xFF, 0x00, 0x0A, 0x00, 0x01, 0x00};
}

// Waits for a request with a deadline, so a request that never ends fails the test instead of
// hanging it; true when it finished, with its outcome in `ok` and its error code in `code`.
bool finishes(const std::shared_ptr<IDeviceRequest>& request, bool& ok, ErrorCode& code)
{
    auto result = std::async(std::launch::async, [request] {
        const bool ok = request->wait();
        return std::make_pair(ok, last_error().code);
    });
    if (result.wait_for(20s) != std::future_status::ready)
        return false;
    std::tie(ok, code) = result.get();
    return true;
}

class ManagedReceiver : public ::testing::Test {
protected:
    static constexpr std::uint16_t kReceiverPid = quillon::ids::kMiraReceiver[0];
    static constexpr std::uint16_t kPairedPid = quillon::ids::kKeyboardB.productId;

    void SetUp() override
    {
        platform::sim::reset_machine();
        platform::sim::remove_all_dev_nodes();
        manager = std::make_shared<DeviceManager>(std::make_shared<PlatformDeviceFactory>());
        manager->set_run_loop(manager);
        manager->setConfig(ConfigReceivers, true);
        manager->setConfig(ConfigUsbHid, true);
        host = std::make_unique<LoopHost>(manager);
        ASSERT_TRUE(host->subscribed());
        receiver = std::make_unique<platform::sim::SimHidReceiver>(kReceiverPid, 0x1A2B3C4D);
        auto config = platform::sim::sim_keyboard_config();
        config.product_id = kPairedPid;
        paired_model = receiver->pair(1, config);
        ASSERT_NE(paired_model, nullptr);
        ASSERT_TRUE(changes.subscribe(std::static_pointer_cast<Producer<IDeviceManager::ArrivalRemoval>>(manager), 0,
                                      ""));
        receiver->plug();
        receiver_device = changes.wait_for(Changes::key("+", TransportUsbHid, kReceiverPid));
        paired = changes.wait_for(Changes::key("+", TransportReceiver, kPairedPid));
        ASSERT_TRUE(receiver_device);
        ASSERT_TRUE(paired);
    }
    void TearDown() override
    {
        let_manager_go();
        receiver.reset();
        platform::sim::remove_all_dev_nodes();
    }
    // Everything the test holds of the manager goes, its run-loop host last.
    void let_manager_go()
    {
        changes.unsubscribe(std::static_pointer_cast<Producer<IDeviceManager::ArrivalRemoval>>(manager));
        changes.clear();
        receiver_device.reset();
        paired.reset();
        host->stop();
        manager.reset();
    }
    // A root request the silenced keyboard takes but never answers; empty if it never got there.
    std::shared_ptr<IDeviceRequest> send_unanswered()
    {
        paired_model->set_silent(true);
        const std::size_t before = paired_model->write_count();
        auto request = paired->send(root_request(), 0, {}, nullptr, 0);
        return paired_model->wait_for_writes(before + 1, 10s) ? request : nullptr;
    }

    ScaledTiming timing{20};
    std::shared_ptr<DeviceManager> manager;
    std::unique_ptr<LoopHost> host;
    std::unique_ptr<platform::sim::SimHidReceiver> receiver;
    platform::sim::SimProtocolDevice* paired_model = nullptr;
    Changes changes;
    std::shared_ptr<IDevice> receiver_device;
    std::shared_ptr<IDevice> paired;
};

// The receiver vanishes while the paired keyboard owes a reply: the keyboard leaves before its
// receiver, the request ends with an error and later traffic fails cleanly.
TEST_F(ManagedReceiver, LeavingWithARequestInFlightEndsItAndRemovesThePairedDeviceFirst)
{
    for (const Removal how : {Removal::Surprise, Removal::Orderly}) {
        const char* what = how == Removal::Surprise ? "surprise" : "orderly";
        auto request = send_unanswered();
        ASSERT_TRUE(request) << what;

        receiver->unplug(how);
        ASSERT_TRUE(changes.wait_for(Changes::key("-", TransportReceiver, kPairedPid))) << what;
        ASSERT_TRUE(changes.wait_for(Changes::key("-", TransportUsbHid, kReceiverPid))) << what;
        const auto keys = changes.keys();
        const auto gonePaired =
            std::find(keys.begin(), keys.end(), Changes::key("-", TransportReceiver, kPairedPid));
        const auto goneReceiver =
            std::find(keys.begin(), keys.end(), Changes::key("-", TransportUsbHid, kReceiverPid));
        EXPECT_LT(gonePaired, goneReceiver) << what;

        bool ok = true;
        ErrorCode code = 0;
        ASSERT_TRUE(finishes(request, ok, code)) << what;
        EXPECT_FALSE(ok) << what;
        EXPECT_NE(code, 0u) << what;
        std::vector<Byte> reply;
        set_last_error(0);
        EXPECT_FALSE(paired->execute(root_request(), reply, 0, {})) << what;
        EXPECT_NE(last_error().code, 0u) << what;

        // Back again: both arrive anew and the keyboard answers.
        paired_model->set_silent(false);
        changes.clear();
        receiver->plug();
        receiver_device = changes.wait_for(Changes::key("+", TransportUsbHid, kReceiverPid));
        paired = changes.wait_for(Changes::key("+", TransportReceiver, kPairedPid));
        ASSERT_TRUE(receiver_device) << what;
        ASSERT_TRUE(paired) << what;
        EXPECT_TRUE(paired->execute(root_request(), reply, 0, {})) << what;
        changes.clear();
    }
}

// A resume after suspend makes the manager enumerate the receiver again; the paired keyboard
// stays the same device and keeps answering.
TEST_F(ManagedReceiver, PowerResumeKeepsThePairedDevice)
{
    const int announcements = receiver->receiver().register_writes(0x02);
    platform::sim::broadcast_power(PBT_APMSUSPEND);
    platform::sim::broadcast_power(PBT_APMRESUMEAUTOMATIC);
    EXPECT_TRUE(eventually([&] { return receiver->receiver().register_writes(0x02) > announcements; }));
    ASSERT_TRUE(host->run_on([] {}));  // the resume has been handled on the run loop
    std::vector<Byte> reply;
    EXPECT_TRUE(paired->execute(root_request(), reply, 0, {}));
    for (const auto& k : changes.keys())
        EXPECT_EQ(k[0], '+') << k;
}

// Switching USB devices off and on again rebuilds every bus twice (each time a new window of
// the same class); the receiver stays wanted, so its keyboard comes back each time as a new
// device that answers, while the one it replaced fails cleanly.
TEST_F(ManagedReceiver, ConfigurationChangeRebuildsTheBusesAndTheReceiverComesBack)
{
    changes.clear();
    const std::string plugged = Changes::key("+", TransportReceiver, kPairedPid);
    const std::string unplugged = Changes::key("-", TransportReceiver, kPairedPid);
    ASSERT_TRUE(host->run_on([this] { manager->setConfig(ConfigUsbHid, false); }));
    ASSERT_TRUE(changes.wait_for(unplugged));
    auto first = changes.wait_for(plugged);
    ASSERT_TRUE(first);
    EXPECT_NE(first, paired);
    std::vector<Byte> reply;
    EXPECT_TRUE(first->execute(root_request(), reply, 0, {})) << last_error().code;

    ASSERT_TRUE(host->run_on([this] { manager->setConfig(ConfigUsbHid, true); }));
    ASSERT_TRUE(changes.wait_for(unplugged, 2));
    auto second = changes.wait_for(plugged, 2);
    ASSERT_TRUE(second);
    EXPECT_TRUE(second->execute(root_request(), reply, 0, {})) << last_error().code;
    set_last_error(0);
    EXPECT_FALSE(first->execute(root_request(), reply, 0, {}));
    EXPECT_NE(last_error().code, 0u);
}

// The manager goes while a request to the paired keyboard is pending and the HID readers and
// the window thread run: the request ends, nothing hangs or outlives its owner.
TEST_F(ManagedReceiver, ManagerLetGoWhileReadersAndRequestsRun)
{
    auto request = send_unanswered();
    ASSERT_TRUE(request);
    let_manager_go();
    bool ok = true;
    ErrorCode code = 0;
    ASSERT_TRUE(finishes(request, ok, code));
    EXPECT_FALSE(ok);
    EXPECT_NE(code, 0u);
    // The machine still works for the next user of the collections.
    paired_model->set_silent(false);
    receiver->unplug();
}

// ---- Write confirmations relayed to the paired devices ----

class WriteLog : public Subscriber<IHardwareDevice::Write> {
public:
    void onWrite(std::vector<Byte> data, ErrorCode code, unsigned) override
    {
        std::lock_guard<std::mutex> lock(mutex);
        writes.emplace_back(std::move(data), code);
    }
    std::vector<std::pair<std::vector<Byte>, ErrorCode>> snapshot()
    {
        std::lock_guard<std::mutex> lock(mutex);
        return writes;
    }
    std::mutex mutex;
    std::vector<std::pair<std::vector<Byte>, ErrorCode>> writes;
};

// Subscribing to a paired device's writes hooks the bus to the receiver's write confirmations;
// each goes to the device of its index only, and the receiver's own register traffic to none.
TEST(PairedDeviceRelay, WriteConfirmationsReachOnlyTheDeviceOfTheirIndex)
{
    ReceiverRig rig;
    rig.pair(1, 0x4001, "Keyboard One");
    rig.pair(2, 0x4002, "Keyboard Two");
    auto bus = rig.make_bus();
    auto devices = bus->enumerate();
    ASSERT_EQ(devices.size(), 2u);
    WriteLog first, second;
    ASSERT_TRUE(first.subscribe(std::dynamic_pointer_cast<Producer<IHardwareDevice::Write>>(devices[0]), 1, ""));
    ASSERT_TRUE(second.subscribe(std::dynamic_pointer_cast<Producer<IHardwareDevice::Write>>(devices[1]), 1, ""));

    ASSERT_TRUE(devices[1]->write({0x10, 0x00, 0x00, 0x1A, 1, 2, 3}, false));
    std::vector<Byte> value;
    ASSERT_TRUE(bus->getLongRegisterB3(value));  // index 0xFF: relayed to nobody

    const auto seen = second.snapshot();
    ASSERT_EQ(seen.size(), 1u);
    EXPECT_EQ(seen[0].second, 0u);
    ASSERT_EQ(seen[0].first.size(), 7u);
    EXPECT_EQ(seen[0].first[1], 2);
    EXPECT_EQ(seen[0].first[6], 3);
    EXPECT_TRUE(first.snapshot().empty());
}

// ---- A receiver that loses replies ----

// Lost replies end an enumeration with the request's error: never a hang or an empty success.
TEST(ReceiverFaults, LostRepliesFailTheEnumeration)
{
    ReceiverRig rig;
    rig.pair(1, 0x4001, "Keyboard One");
    auto bus = rig.make_bus();
    bus->set_parameters(0, 1, 0);
    rig.receiver.drop_replies(1000);
    set_last_error(0);
    EXPECT_TRUE(bus->enumerate().empty());
    EXPECT_NE(last_error().code, 0u);
    rig.receiver.drop_replies(0);
}

// The receiver answers the retry's liveness ping with a register-protocol error: that proves it
// is there, so one lost reply costs a retry, not the request (nor the next one).
TEST(ReceiverFaults, OneLostReplyIsRetried)
{
    ReceiverRig rig;
    auto bus = rig.make_bus();
    bus->attach();
    rig.receiver.drop_replies(1);
    set_last_error(0);
    EXPECT_EQ(bus->getSerialNumber(), 0x1A2B3C4Du);
    EXPECT_EQ(last_error().code, 0u);
    EXPECT_EQ(bus->getSerialNumber(), 0x1A2B3C4Du);
}

// A serial-number reply too short to hold the number gives 0 and code 2.
TEST(ReceiverFaults, AShortSerialReplyGivesZero)
{
    ReceiverRig rig;
    auto bus = rig.make_bus();
    bus->attach();
    // The receiver's own reply is lost; a short one that matches the command arrives instead.
    rig.receiver.drop_replies(1);
    std::thread shortReply([&] {
        if (eventually([&] { return rig.receiver.register_reads(0xB5) > 0; }))
            bus->onRead({0x10, 0xFF, 0x83, 0xB5, 0x30, 0x1A, 0x2B}, false, 0, 7);
    });
    set_last_error(0);
    EXPECT_EQ(bus->getSerialNumber(), 0u);
    EXPECT_EQ(last_error().code, 2u);
    shortReply.join();
    EXPECT_EQ(bus->getSerialNumber(), 0x1A2B3C4Du);
}

// ---- The HID bus let go while its window thread and readers run ----

class HidBusLetGo : public ::testing::Test {
protected:
    void SetUp() override
    {
        platform::sim::reset_machine();
        platform::sim::remove_all_dev_nodes();
    }
    void TearDown() override
    {
        platform::sim::remove_all_dev_nodes();
        manager->shutdown();
    }
    ScaledTiming timing{20};
    std::shared_ptr<HostManager> manager = HostManager::create();
};

class FailedReads : public Subscriber<IHardwareDevice::Read> {
public:
    void onRead(std::vector<Byte>, bool, unsigned status, unsigned) override
    {
        if (status)
            ++failed;
    }
    std::atomic<int> failed{0};
};

// The bus closes the handles it was given when it goes; each reader then reports one failed
// read and waits, later use fails with 72 and closing the devices neither hangs nor closes a
// handle twice.
TEST_F(HidBusLetGo, OpenDevicesOutliveTheirBusAndFailCleanly)
{
    auto bus = Win32Bus::create(manager);
    bus->start();
    platform::sim::SimHidDevice sim(0x4001, "Sim Keyboard", nullptr);
    sim.plug();
    auto devices = bus->enumerate();
    ASSERT_EQ(devices.size(), 2u);
    FailedReads reads[2];
    for (int i = 0; i < 2; ++i) {
        ASSERT_TRUE(devices[i]->open());
        ASSERT_TRUE(reads[i].subscribe(std::dynamic_pointer_cast<Producer<IHardwareDevice::Read>>(devices[i]), 1, ""));
    }
    for (const auto& c : sim.collections())
        ASSERT_TRUE(c->wait_for_pending_reads(1));

    bus.reset();
    for (const auto& c : sim.collections())
        EXPECT_TRUE(c->wait_for_open_handles(0));
    for (auto& r : reads)
        EXPECT_TRUE(eventually([&] { return r.failed.load() >= 1; }));
    EXPECT_FALSE(devices[0]->write({0x10, 0xFF, 0x00, 0x1A}, false));
    EXPECT_EQ(last_error().code, 72u);
    EXPECT_FALSE(devices[0]->getBus());
    for (auto& d : devices)
        d->close();
    for (int i = 0; i < 2; ++i)
        EXPECT_EQ(reads[i].failed.load(), 1) << i;
    devices.clear();
    for (const auto& c : sim.collections())
        EXPECT_EQ(c->open_handle_count(), 0u);
}

// A direct subscriber that drops the last reference to the bus from its plug handler, on the
// window thread: the bus lets its window go without joining itself, and the machine goes on.
TEST_F(HidBusLetGo, ASubscriberMayDropTheBusOnItsWindowThread)
{
    class Dropper : public Subscriber<IHardwareBus::PlugUnplug> {
    public:
        void onPlug(std::shared_ptr<IHardwareDevice>) override
        {
            std::lock_guard<std::mutex> lock(mutex);
            held.reset();
        }
        bool dropped()
        {
            std::lock_guard<std::mutex> lock(mutex);
            return !held;
        }
        std::mutex mutex;
        std::shared_ptr<Win32Bus> held;
    } dropper;
    std::weak_ptr<Win32Bus> weak;
    {
        auto bus = Win32Bus::create(manager);
        bus->start();
        weak = bus;
        ASSERT_TRUE(dropper.subscribe(bus, 1, ""));
        std::lock_guard<std::mutex> lock(dropper.mutex);
        dropper.held = std::move(bus);
    }
    platform::sim::SimHidDevice sim(0x4001, "Sim Keyboard", nullptr);
    sim.plug();
    EXPECT_TRUE(eventually([&] { return dropper.dropped(); }));
    EXPECT_TRUE(eventually([&] { return weak.expired(); }));
    platform::sim::broadcast_power(PBT_APMRESUMEAUTOMATIC);
    sim.unplug();

    // A bus made afterwards gets a window of the same class and works.
    auto next = Win32Bus::create(manager);
    next->start();
    EXPECT_NE(next->window(), nullptr);
    sim.plug();
    EXPECT_EQ(next->enumerate().size(), 2u);
}

} // namespace
} // namespace devio::test
