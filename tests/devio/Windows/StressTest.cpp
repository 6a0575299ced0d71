// The real stack behind the application's facade under stress: devices vanishing while
// blocking and chained requests run on them, receivers leaving and slots relinking, a firmware
// transfer cut short, buses rebuilt under busy devices, subscribers coming and going through
// plug cycles, blocking calls from arrival and removal handlers, and garbage between replies.
// Each scenario must end with a clear outcome; a request that never ends fails the test on a
// deadline instead of hanging it.
#include "core/CDevio.h"
#include "core/DeviceRequest.h"
#include "core/Subscriber.h"
#include "core/Timing.h"
#include "device/Device.h"
#include "device/IDevice.h"
#include "core/IHardwareBus.h"
#include "devices/SimHidDevice.h"
#include "devices/SimHidReceiver.h"
#include "features/IFeature00c2DFUControl.h"
#include "features/IFeature00d0DFU.h"
#include "features/IFeature1000BatteryUnifiedLevelStatus.h"
#include "quillon/ProductIds.h"
#include "ManagerTestSupport.h"
#include "support/Within.h"

#include <sim/DeviceTree.h>
#include <sim/Kernel.h>

#include <gtest/gtest.h>

#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <future>
#include <mutex>
#include <optional>
#include <thread>

namespace devio {
namespace {

using namespace std::chrono_literals;
using platform::sim::Removal;
using Bytes = std::vector<Byte>;

constexpr auto kDeadline = 20s;

using quillon::test::within;

// The outcome of a request and the error code it left.
struct Outcome {
    bool ok = false;
    ErrorCode code = 0;
};

template <class R>
Outcome outcome_of(const std::shared_ptr<R>& request)
{
    return within([request] {
        Outcome o;
        o.ok = request->wait();
        o.code = last_error().code;
        return o;
    });
}

// After every report the model receives, three reports of garbage reach the host through the
// collection, until `stop`.
std::thread garbage_after_writes(platform::sim::SimProtocolDevice& model, platform::sim::SimHidDevice& collection,
                                 const std::vector<Bytes>& garbage, const std::atomic<bool>& stop)
{
    return std::thread([&model, &collection, &garbage, &stop] {
        std::size_t seen = model.write_count();
        std::size_t next = 0;
        while (!stop) {
            if (!model.wait_for_writes(seen + 1, 20ms))
                continue;
            seen = model.write_count();
            for (int k = 0; k < 3; ++k)
                collection.send_input(garbage[next++ % garbage.size()]);
        }
    });
}

using test::Changes;
using test::LoopHost;

// Waits for a slot's way back: its device linked again, or a new device for it arrived.
class Relink : public Subscriber<IDevice::Connect>, public Subscriber<IDeviceManager::ArrivalRemoval> {
public:
    explicit Relink(std::uint16_t pid) : m_pid(pid) {}
    ~Relink() override
    {
        Subscriber<IDevice::Connect>::stop_deliveries();
        Subscriber<IDeviceManager::ArrivalRemoval>::stop_deliveries();
    }
    void onConnect(std::shared_ptr<IDevice>) override { mark(); }
    void onConnect(std::shared_ptr<IDevice>, bool) override { mark(); }
    void onDeviceArrival(std::shared_ptr<IDevice> d) override
    {
        if (d->getProductId() == m_pid)
            mark();
    }
    bool wait()
    {
        std::unique_lock<std::mutex> lock(m_mutex);
        return m_condition.wait_for(lock, kDeadline, [this] { return m_back; });
    }

private:
    void mark()
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_back = true;
        m_condition.notify_all();
    }
    const std::uint16_t m_pid;
    std::mutex m_mutex;
    std::condition_variable m_condition;
    bool m_back = false;
};

// Root function 0 for feature 0x0001: every model answers it.
Bytes root_request()
{
    return {0x10, 0xFF, 0x00, 0x0A, 0x00, 0x01, 0x00};
}

// The facade with a run-loop host and an arrival log, over a clean machine.
class Stress : public ::testing::Test {
protected:
    static constexpr std::uint16_t kUsbPid = quillon::ids::kKeyboardA.productId;
    static constexpr std::uint16_t kPairedPid = quillon::ids::kKeyboardB.productId;
    static constexpr std::uint16_t kReceiverPid = quillon::ids::kMiraReceiver[0];

    void SetUp() override
    {
        platform::sim::reset_machine();
        platform::sim::remove_all_dev_nodes();
        Timing::setScale(1, 50);
        CDevio& facade = CDevio::instance();
        ASSERT_TRUE(facade.setConfig(ConfigReceivers, true));
        ASSERT_TRUE(facade.setConfig(ConfigUsbHid, true));
        manager = facade.get_or_create_manager();
        ASSERT_TRUE(manager);
        host = std::make_unique<LoopHost>(manager);
        ASSERT_TRUE(host->subscribed());
        ASSERT_TRUE(changes.subscribe(arrivals(), 0, ""));
    }
    void TearDown() override
    {
        changes.unsubscribe(arrivals());
        changes.clear();
        host.reset();
        manager.reset();
        within([] {
            CDevio::instance().close();
            return 0;
        });
        platform::sim::remove_all_dev_nodes();
        Timing::reset();
    }

    std::shared_ptr<Producer<IDeviceManager::ArrivalRemoval>> arrivals()
    {
        return std::static_pointer_cast<Producer<IDeviceManager::ArrivalRemoval>>(manager);
    }
    static platform::sim::SimProtocolConfig keyboard(std::uint16_t pid, const char* name)
    {
        auto config = platform::sim::sim_keyboard_config();
        config.product_id = pid;
        config.model_ids[0] = pid;
        config.name = name;
        return config;
    }
    // A blocking battery read on its own thread, and a two-step chain of root requests.
    struct InFlight {
        std::future<Outcome> blocking;
        std::shared_ptr<IRequest> chain;
        std::shared_ptr<int> owner = std::make_shared<int>(0);
    };
    static InFlight start_requests(const std::shared_ptr<IDevice>& device)
    {
        InFlight f;
        auto battery = std::dynamic_pointer_cast<IFeature1000BatteryUnifiedLevelStatus>(device->getFeatureSync(0x1000));
        f.blocking = std::async(std::launch::async, [battery] {
            Outcome o;
            std::uint16_t a = 0, b = 0, c = 0;
            set_last_error(0);
            o.ok = battery && battery->GetBatteryLevelStatus(&a, &b, &c);
            o.code = battery ? last_error().code : 1;
            return o;
        });
        std::weak_ptr<IDevice> weak = device;
        f.chain = device->send(root_request(), 0, {}, nullptr, 0)
                      ->then(
                          f.owner,
                          [weak](std::shared_ptr<IDeviceRequest> first) -> std::shared_ptr<IRequest> {
                              auto d = weak.lock();
                              if (!first->check_response() || !d)
                                  return make_immediate_failure_from_error();
                              return d->send(root_request(), 0, {}, nullptr, 0)
                                  ->then(
                                      std::weak_ptr<void>(),
                                      [](std::shared_ptr<IDeviceRequest> second) -> std::shared_ptr<IRequest> {
                                          return second->check_response() ? make_immediate_success()
                                                                          : make_immediate_failure_from_error();
                                      },
                                      "second");
                          },
                          "stress chain");
        return f;
    }
    static void expect_failed(InFlight& f, const char* what)
    {
        ASSERT_EQ(f.blocking.wait_for(kDeadline), std::future_status::ready) << what;
        const Outcome blocking = f.blocking.get();
        EXPECT_FALSE(blocking.ok) << what;
        EXPECT_NE(blocking.code, 0u) << what;
        const Outcome chain = outcome_of(f.chain);
        EXPECT_FALSE(chain.ok) << what;
        EXPECT_NE(chain.code, 0u) << what;
    }

    std::unique_ptr<LoopHost> host;
    Changes changes;
    std::shared_ptr<DeviceManager> manager;
};

// A USB keyboard vanishes (by surprise or orderly) while a blocking feature request and a
// chain owe replies, again and again; each time both end with an error and the keyboard,
// plugged again, answers as a new device.
TEST_F(Stress, UsbKeyboardLeavesWithRequestsInFlightAndComesBack)
{
    platform::sim::SimHidProtocolDevice usb(keyboard(kUsbPid, "Usb Board"));
    usb.plug();
    auto device = changes.wait_for(Changes::key("+", TransportUsbHid, kUsbPid));
    ASSERT_TRUE(device);
    for (int round = 1; round <= 6; ++round) {
        const std::string what = "round " + std::to_string(round);
        ASSERT_GT(device->getFeatureCountSync(), 0u) << what;
        usb.model().set_silent(true);
        const std::size_t before = usb.model().write_count();
        InFlight f = start_requests(device);
        ASSERT_TRUE(usb.model().wait_for_writes(before + 2, kDeadline)) << what;
        usb.unplug(round % 2 ? Removal::Surprise : Removal::Orderly);
        ASSERT_TRUE(changes.wait_for(Changes::key("-", TransportUsbHid, kUsbPid), round)) << what;
        expect_failed(f, what.c_str());
        Bytes reply;
        EXPECT_FALSE(within([device, &reply] { return device->execute(root_request(), reply, 0, {}); })) << what;

        usb.model().set_silent(false);
        usb.plug();
        auto next = changes.wait_for(Changes::key("+", TransportUsbHid, kUsbPid), round + 1);
        ASSERT_TRUE(next) << what;
        EXPECT_NE(next, device) << what;
        device = next;
        EXPECT_TRUE(within([device, &reply] { return device->execute(root_request(), reply, 0, {}); })) << what;
    }
}

// Paired keyboards lose their link, are unpaired and paired again, and the receiver leaves,
// all while requests run on them: every request ends, and the survivors go on answering.
TEST_F(Stress, PairedDevicesUnlinkedUnpairedAndReceiverLostUnderRequests)
{
    platform::sim::SimHidReceiver receiver(kReceiverPid, 0x1A2B3C4D);
    ASSERT_NE(receiver.pair(1, keyboard(kPairedPid, "Paired One")), nullptr);
    ASSERT_NE(receiver.pair(2, keyboard(kUsbPid, "Paired Two")), nullptr);
    receiver.plug();
    const std::string one = Changes::key("+", TransportReceiver, kPairedPid);
    const std::string two = Changes::key("+", TransportReceiver, kUsbPid);
    auto first = changes.wait_for(one);
    auto second = changes.wait_for(two);
    Bytes reply;
    for (int round = 1; round <= 3; ++round) {
        const std::string what = "round " + std::to_string(round);
        ASSERT_TRUE(first && second) << what;
        changes.clear();

        // Slot 1 loses its link mid-request and comes back; slot 2 is unpaired and paired again.
        receiver.paired(1)->set_silent(true);
        receiver.paired(2)->set_silent(true);
        const std::size_t w1 = receiver.paired(1)->write_count();
        const std::size_t w2 = receiver.paired(2)->write_count();
        InFlight f1 = start_requests(first);
        InFlight f2 = start_requests(second);
        ASSERT_TRUE(receiver.paired(1)->wait_for_writes(w1 + 2, kDeadline)) << what;
        ASSERT_TRUE(receiver.paired(2)->wait_for_writes(w2 + 2, kDeadline)) << what;
        receiver.paired(1)->disappear();
        receiver.unpair(2);
        expect_failed(f1, (what + " unlinked").c_str());
        expect_failed(f2, (what + " unpaired").c_str());
        receiver.paired(1)->set_silent(false);
        Relink relink(kPairedPid);
        ASSERT_TRUE(relink.Subscriber<IDevice::Connect>::subscribe(first, 0, "")) << what;
        ASSERT_TRUE(relink.Subscriber<IDeviceManager::ArrivalRemoval>::subscribe(arrivals(), 0, "")) << what;
        receiver.paired(1)->power_cycle();
        ASSERT_NE(receiver.pair(2, keyboard(kUsbPid, "Paired Two")), nullptr) << what;
        second = changes.wait_for(two);
        ASSERT_TRUE(second) << what;
        EXPECT_TRUE(within([&] { return second->execute(root_request(), reply, 0, {}); })) << what;
        // The relinked slot answers, as the same device or as a new arrival; a request sent
        // before the host saw the link come back fails on the unlinked device.
        ASSERT_TRUE(relink.wait()) << what;
        relink.Subscriber<IDevice::Connect>::unsubscribe(first);
        relink.Subscriber<IDeviceManager::ArrivalRemoval>::unsubscribe(arrivals());
        const bool same = within([&] { return first->execute(root_request(), reply, 0, {}); });
        if (!same) {
            first = changes.wait_for(one);
            ASSERT_TRUE(first) << what;
            EXPECT_TRUE(within([&] { return first->execute(root_request(), reply, 0, {}); })) << what;
        }

        // Then the receiver goes with requests on both; the keyboards come back with it.
        receiver.paired(1)->set_silent(true);
        receiver.paired(2)->set_silent(true);
        const std::size_t x1 = receiver.paired(1)->write_count();
        const std::size_t x2 = receiver.paired(2)->write_count();
        InFlight g1 = start_requests(first);
        InFlight g2 = start_requests(second);
        ASSERT_TRUE(receiver.paired(1)->wait_for_writes(x1 + 2, kDeadline)) << what;
        ASSERT_TRUE(receiver.paired(2)->wait_for_writes(x2 + 2, kDeadline)) << what;
        receiver.unplug(round % 2 ? Removal::Surprise : Removal::Orderly);
        ASSERT_TRUE(changes.wait_for(Changes::key("-", TransportUsbHid, kReceiverPid))) << what;
        expect_failed(g1, (what + " receiver gone, slot 1").c_str());
        expect_failed(g2, (what + " receiver gone, slot 2").c_str());
        receiver.paired(1)->set_silent(false);
        receiver.paired(2)->set_silent(false);
        changes.clear();
        receiver.plug();
        first = changes.wait_for(one);
        second = changes.wait_for(two);
    }
    ASSERT_TRUE(first && second);
    EXPECT_TRUE(within([&] { return first->execute(root_request(), reply, 0, {}); }));
    EXPECT_TRUE(within([&] { return second->execute(root_request(), reply, 0, {}); }));
}

// DFU statuses as the transfer publishes them.
class DfuStatuses : public Subscriber<IFeature00d0DFU::Report> {
public:
    void onDfuStatus(std::uint32_t, std::vector<Byte> payload) override
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        if (payload.size() > 4 && payload[4] == 2)
            ++m_complete;
    }
    int complete()
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        return m_complete;
    }

private:
    std::mutex m_mutex;
    int m_complete = 0;
};

// A keyboard switched into its bootloader (it comes back on the bus with the transfer feature)
// loses contact in the middle of an image, by surprise, orderly or by going mute: the packet
// in flight fails with an error, no completion is reported and nothing hangs.
TEST_F(Stress, FirmwareTransferCutShortEndsWithAnError)
{
    auto config = keyboard(kUsbPid, "Usb Board");
    config.dfu_switch_delay = 10ms;
    config.dfu_packet_count = 8;
    platform::sim::SimHidProtocolDevice usb(config);
    usb.plug();
    auto device = changes.wait_for(Changes::key("+", TransportUsbHid, kUsbPid));
    ASSERT_TRUE(device);
    auto c2 = std::dynamic_pointer_cast<IFeature00c2DFUControl>(device->getFeatureSync(0x00C2));
    ASSERT_TRUE(c2);
    ASSERT_TRUE(within([c2] { return c2->SetDfuControl(1, 0); }));
    ASSERT_TRUE(usb.model().wait_for_mode(true, kDeadline));

    const Bytes packet(16, 0x5A);
    for (int round = 1; round <= 3; ++round) {
        const std::string what = "round " + std::to_string(round);
        // The device restarts: on the bus again, discovered anew.
        usb.unplug(Removal::Surprise);
        usb.plug();
        device = changes.wait_for(Changes::key("+", TransportUsbHid, kUsbPid), round + 1);
        ASSERT_TRUE(device) << what;
        auto dfu = std::dynamic_pointer_cast<IFeature00d0DFU>(device->getFeatureSync(0x00D0));
        ASSERT_TRUE(dfu) << what;
        DfuStatuses statuses;
        ASSERT_TRUE(statuses.subscribe(dfu, 1, ""));
        std::uint32_t status = 0;
        ASSERT_TRUE(within([&] { return dfu->DfuStart(packet, &status, nullptr); })) << what;
        EXPECT_EQ(status, 1u) << what;
        ASSERT_TRUE(within([&] { return dfu->DfuCmdData(1, packet); })) << what;

        const std::size_t before = usb.model().write_count();
        if (round == 3)
            usb.model().vanish_on_next_request();
        else
            usb.model().set_silent(true);
        auto pending = std::async(std::launch::async, [dfu, packet] {
            Outcome o;
            set_last_error(0);
            o.ok = dfu->DfuCmdData(2, packet);
            o.code = last_error().code;
            return o;
        });
        ASSERT_TRUE(usb.model().wait_for_writes(before + 1, kDeadline)) << what;
        if (round != 3)
            usb.unplug(round == 1 ? Removal::Surprise : Removal::Orderly);
        ASSERT_EQ(pending.wait_for(kDeadline), std::future_status::ready) << what;
        const Outcome o = pending.get();
        EXPECT_FALSE(o.ok) << what;
        EXPECT_NE(o.code, 0u) << what;
        EXPECT_FALSE(within([&] { return dfu->DfuCmdData(3, packet); })) << what;
        EXPECT_EQ(statuses.complete(), 0) << what;
        statuses.unsubscribe(dfu);
        EXPECT_LT(usb.model().dfu_next_packet(), config.dfu_packet_count) << what;
        usb.model().set_silent(false);
        if (round == 3)
            usb.model().power_cycle();
    }
}

// The same behind a receiver: the slot unlinks, or the receiver itself goes, mid-packet.
TEST_F(Stress, FirmwareTransferBehindAReceiverCutShort)
{
    platform::sim::SimHidReceiver receiver(kReceiverPid, 0x1A2B3C4D);
    auto config = keyboard(kPairedPid, "Paired One");
    config.features.push_back({0x00D0, 0, 0});
    config.dfu_packet_count = 8;
    ASSERT_NE(receiver.pair(1, config), nullptr);
    receiver.plug();
    const Bytes packet(16, 0xA5);
    for (int round = 1; round <= 2; ++round) {
        const std::string what = "round " + std::to_string(round);
        auto device = changes.wait_for(Changes::key("+", TransportReceiver, kPairedPid), round);
        ASSERT_TRUE(device) << what;
        auto* model = receiver.paired(1);
        auto dfu = std::dynamic_pointer_cast<IFeature00d0DFU>(device->getFeatureSync(0x00D0));
        ASSERT_TRUE(dfu) << what;
        DfuStatuses statuses;
        ASSERT_TRUE(statuses.subscribe(dfu, 1, ""));
        std::uint32_t status = 0;
        ASSERT_TRUE(within([&] { return dfu->DfuStart(packet, &status, nullptr); })) << what;
        const std::size_t before = model->write_count();
        model->set_silent(true);
        auto pending = std::async(std::launch::async, [dfu, packet] {
            Outcome o;
            set_last_error(0);
            o.ok = dfu->DfuCmdData(1, packet);
            o.code = last_error().code;
            return o;
        });
        ASSERT_TRUE(model->wait_for_writes(before + 1, kDeadline)) << what;
        if (round == 1)
            model->disappear();
        else
            receiver.unplug(Removal::Surprise);
        ASSERT_EQ(pending.wait_for(kDeadline), std::future_status::ready) << what;
        const Outcome o = pending.get();
        EXPECT_FALSE(o.ok) << what;
        EXPECT_NE(o.code, 0u) << what;
        EXPECT_EQ(statuses.complete(), 0) << what;
        statuses.unsubscribe(dfu);
        model->set_silent(false);
        if (round == 1) {
            // Back in reach, the device has to start over.
            model->power_cycle();
            receiver.unplug(Removal::Orderly);
            receiver.plug();
        }
    }
}

// Switching USB devices off and on rebuilds the buses while a USB keyboard and a paired one
// owe replies: the requests end, the keyboard goes and comes back, the paired one answers anew.
TEST_F(Stress, ConfigurationChangesWhileDevicesAreBusy)
{
    platform::sim::SimHidProtocolDevice usb(keyboard(kUsbPid, "Usb Board"));
    platform::sim::SimHidReceiver receiver(kReceiverPid, 0x1A2B3C4D);
    auto* model = receiver.pair(1, keyboard(kPairedPid, "Paired One"));
    ASSERT_NE(model, nullptr);
    usb.plug();
    receiver.plug();
    const std::string usbKey = Changes::key("+", TransportUsbHid, kUsbPid);
    const std::string pairedKey = Changes::key("+", TransportReceiver, kPairedPid);
    auto onUsb = changes.wait_for(usbKey);
    auto behind = changes.wait_for(pairedKey);
    for (int round = 1; round <= 4; ++round) {
        const std::string what = "round " + std::to_string(round);
        const bool usbOn = round % 2 == 0;
        ASSERT_TRUE(behind) << what;
        changes.clear();
        model->set_silent(true);
        usb.model().set_silent(true);
        const std::size_t before = model->write_count();
        InFlight onPaired = start_requests(behind);
        std::optional<InFlight> onKeyboard;
        if (onUsb)
            onKeyboard = start_requests(onUsb);
        ASSERT_TRUE(model->wait_for_writes(before + 1, kDeadline)) << what;
        ASSERT_TRUE(host->run_on([this, usbOn] { manager->setConfig(ConfigUsbHid, usbOn); }));
        expect_failed(onPaired, (what + " paired").c_str());
        if (onKeyboard)
            expect_failed(*onKeyboard, (what + " usb").c_str());
        model->set_silent(false);
        usb.model().set_silent(false);
        behind = changes.wait_for(pairedKey);
        ASSERT_TRUE(behind) << what;
        Bytes reply;
        EXPECT_TRUE(within([&] { return behind->execute(root_request(), reply, 0, {}); })) << what;
        onUsb = usbOn ? changes.wait_for(usbKey) : nullptr;
        if (usbOn) {
            ASSERT_TRUE(onUsb) << what;
            EXPECT_TRUE(within([&] { return onUsb->execute(root_request(), reply, 0, {}); })) << what;
        }
    }
}

// A subscriber that leaves from inside its own handler and is taken back by another thread,
// alternating direct and queued delivery, through many plug cycles of a keyboard.
class Flighty : public Subscriber<IDeviceManager::ArrivalRemoval> {
public:
    explicit Flighty(std::shared_ptr<Producer<IDeviceManager::ArrivalRemoval>> producer)
        : m_producer(std::move(producer))
    {
    }
    void onDeviceArrival(std::shared_ptr<IDevice>) override { leave(); }
    void onDeviceRemoval(std::shared_ptr<IDevice>) override { leave(); }
    void leave()
    {
        if (auto p = m_producer.lock())
            unsubscribe(p);
        std::lock_guard<std::mutex> lock(m_mutex);
        ++m_seen;
        m_in = false;
        m_condition.notify_all();
    }
    // Subscribes again whenever it left, until told to stop.
    void run(const std::atomic<bool>& stop)
    {
        int round = 0;
        while (!stop) {
            {
                std::unique_lock<std::mutex> lock(m_mutex);
                if (m_in && !m_condition.wait_for(lock, 50ms, [&] { return !m_in; }))
                    continue;
                m_in = true;
            }
            if (auto p = m_producer.lock())
                subscribe(p, ++round % 2, "");
        }
        if (auto p = m_producer.lock())
            unsubscribe(p);
    }
    int seen()
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        return m_seen;
    }

private:
    std::weak_ptr<Producer<IDeviceManager::ArrivalRemoval>> m_producer;
    std::mutex m_mutex;
    std::condition_variable m_condition;
    bool m_in = false;
    int m_seen = 0;
};

// What one plug cycle looked like, for the report of a failure: the receiver's connection
// notifications, its bus's announcements and the manager's arrivals and removals, in order.
class PlugTrace : public Subscriber<IDeviceManager::ArrivalRemoval>,
                  public Subscriber<IDevice::Report>,
                  public Subscriber<IHardwareBus::PlugUnplug> {
public:
    void cycle(int n) { add("-- cycle " + std::to_string(n)); }
    std::string text()
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        std::string all;
        for (const auto& line : m_lines)
            all += line + "\n";
        return all;
    }
    void onDeviceArrival(std::shared_ptr<IDevice> d) override
    {
        add("manager + " + d->getPath());
        // A receiver: follow its notifications and its bus from here on (directly, on their threads).
        if (auto bus = std::dynamic_pointer_cast<IHardwareBus>(d)) {
            Subscriber<IHardwareBus::PlugUnplug>::subscribe(bus, 1, "");
            Subscriber<IDevice::Report>::subscribe(std::static_pointer_cast<Producer<IDevice::Report>>(
                                                       std::dynamic_pointer_cast<Device>(d)),
                                                   1, "");
        }
    }
    void onDeviceRemoval(std::shared_ptr<IDevice> d) override { add("manager - " + d->getPath()); }
    void onReport(const std::vector<Byte>& r, std::uint32_t, std::uint32_t, IDevice::ReportType) override
    {
        if (r.size() >= 7 && r[1] != 0xFF && (r[2] == 0x40 || r[2] == 0x41)) {
            char line[64];
            std::snprintf(line, sizeof line, "receiver %02X slot %u %02X %02X %02X %02X", r[2], r[1], r[3], r[4],
                          r[5], r[6]);
            add(line);
        }
    }
    void onPlug(std::shared_ptr<IHardwareDevice> d) override { add("bus + " + d->getPath()); }
    void onUnplug(std::shared_ptr<IHardwareDevice> d) override { add("bus - " + d->getPath()); }

private:
    void add(std::string line)
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_lines.push_back(std::move(line));
    }
    std::mutex m_mutex;
    std::vector<std::string> m_lines;
};

TEST_F(Stress, PlugCyclesWhileASubscriberLeavesAndReturns)
{
    platform::sim::SimHidProtocolDevice usb(keyboard(kUsbPid, "Usb Board"));
    platform::sim::SimHidReceiver receiver(kReceiverPid, 0x1A2B3C4D);
    ASSERT_NE(receiver.pair(1, keyboard(kPairedPid, "Paired One")), nullptr);
    auto trace = std::make_shared<PlugTrace>();
    ASSERT_TRUE(trace->Subscriber<IDeviceManager::ArrivalRemoval>::subscribe(arrivals(), 1, ""));
    auto flighty = std::make_shared<Flighty>(arrivals());
    std::atomic<bool> stop{false};
    std::thread resubscriber([&] { flighty->run(stop); });
    constexpr int kCycles = 12;
    for (int cycle = 1; cycle <= kCycles; ++cycle) {
        trace->cycle(cycle);
        const Removal how = cycle % 3 ? Removal::Surprise : Removal::Orderly;
        usb.plug();
        receiver.plug();
        ASSERT_TRUE(changes.wait_for(Changes::key("+", TransportUsbHid, kUsbPid), cycle)) << cycle << trace->text();
        ASSERT_TRUE(changes.wait_for(Changes::key("+", TransportReceiver, kPairedPid), cycle)) << cycle << trace->text();
        usb.unplug(how);
        receiver.unplug(how);
        ASSERT_TRUE(changes.wait_for(Changes::key("-", TransportUsbHid, kUsbPid), cycle)) << cycle << trace->text();
        ASSERT_TRUE(changes.wait_for(Changes::key("-", TransportReceiver, kPairedPid), cycle)) << cycle << trace->text();
    }
    stop = true;
    resubscriber.join();
    EXPECT_GT(flighty->seen(), 0);
    // One arrival and one removal per plug, for each device.
    EXPECT_EQ(changes.count(Changes::key("+", TransportUsbHid, kUsbPid)), kCycles);
    EXPECT_EQ(changes.count(Changes::key("-", TransportUsbHid, kUsbPid)), kCycles);
    EXPECT_EQ(changes.count(Changes::key("+", TransportReceiver, kPairedPid)), kCycles) << trace->text();
    EXPECT_EQ(changes.count(Changes::key("-", TransportReceiver, kPairedPid)), kCycles) << trace->text();
    trace->Subscriber<IDeviceManager::ArrivalRemoval>::unsubscribe(arrivals());
}

// Before every reply, the keyboard sends a burst of garbage: reports cut short, wrong report
// ids, replies to other functions, software ids and device indexes, error replies of other
// features. Every request still gets its own reply.
TEST_F(Stress, GarbageBetweenValidReplies)
{
    platform::sim::SimHidProtocolDevice usb(keyboard(kUsbPid, "Usb Board"));
    usb.plug();
    auto device = changes.wait_for(Changes::key("+", TransportUsbHid, kUsbPid));
    ASSERT_TRUE(device);
    auto battery = std::dynamic_pointer_cast<IFeature1000BatteryUnifiedLevelStatus>(device->getFeatureSync(0x1000));
    ASSERT_TRUE(battery);
    const Byte sw = static_cast<Byte>(device->getSoftwareId() & 0x0F);
    const Byte other = static_cast<Byte>(sw == 0x0F ? 0x0E : sw + 1);
    const std::vector<Bytes> garbage = {
        {0x10},
        {0x11},
        {0x10, 0xFF},
        {0x11, 0xFF, 0x00},
        {0x20, 0xFF, 0x00, sw, 1, 2, 3},
        {0x00, 0xFF, 0x00, sw},
        {0x10, 0xFF, 0x00, other, 0x05},
        {0x10, 0x01, 0x00, sw, 0x05},
        {0x10, 0x00, 0x00, sw},
        {0x10, 0xFF, 0xFF, 0x00, other, 0x08},
        {0x10, 0xFF, 0x8F, 0x00, 0x05, 0x03},
        {0x11, 0xFF, 0xFF, other, 0x09, 0x02, 0xAA},
        {0x11, 0xFF, 0x3F, static_cast<Byte>(0x70 | other), 0x01},
        {0x10, 0xFF, 0x05, static_cast<Byte>(0x70 | sw)},
    };
    usb.model().set_latency(2ms);
    std::atomic<bool> stop{false};
    std::thread injector = garbage_after_writes(usb.model(), usb.hid(), garbage, stop);
    int failures = 0;
    for (int i = 0; i < 40; ++i) {
        Bytes reply;
        if (!within([&] { return device->execute(root_request(), reply, 0, {}); }))
            ++failures;
        std::uint16_t a = 0, b = 0, c = 0;
        if (!within([&] { return battery->GetBatteryLevelStatus(&a, &b, &c); }) || a != 80)
            ++failures;
    }
    stop = true;
    injector.join();
    EXPECT_EQ(failures, 0);
}

// The receiver itself sends garbage between the replies it relays: notifications for slots it
// does not have, removals of empty slots or with the wrong flag, cut-short reports and replies
// for other slots. The paired keyboard keeps its device and every request its reply.
TEST_F(Stress, ReceiverGarbageBetweenRelayedReplies)
{
    platform::sim::SimHidReceiver receiver(kReceiverPid, 0x1A2B3C4D);
    auto* model = receiver.pair(1, keyboard(kPairedPid, "Paired One"));
    ASSERT_NE(model, nullptr);
    receiver.plug();
    auto paired = changes.wait_for(Changes::key("+", TransportReceiver, kPairedPid));
    ASSERT_TRUE(paired);
    const std::vector<Bytes> garbage = {
        {0x10, 0x00, 0x41, 0x04, 0x00, 0x01, 0x40},
        {0x10, 0x07, 0x41, 0x04, 0x00, 0x01, 0x40},
        {0x10, 0xFF, 0x41, 0x04, 0x00, 0x01, 0x40},
        {0x10, 0x80, 0x41, 0x04, 0x00, 0x01, 0x40},
        {0x10, 0x01, 0x41, 0x02, 0x00, 0x99, 0x99},
        {0x10, 0x01, 0x40, 0x03},
        {0x10, 0x05, 0x40, 0x02},
        {0x10, 0x01},
        {0x11, 0x01},
        {0x10, 0x01, 0x4A, 0x77, 0x99},
        {0x10, 0xFF, 0x8F, 0x83, 0xB5, 0x03},
        {0x11, 0xFF, 0x83, 0xB5},
        {0x10, 0x02, 0x00, 0x0A, 0x00, 0x01},
        {0x10, 0x01, 0x8F, 0x00, 0x0A, 0x09},
        {0x11, 0x06, 0xFF, 0x00, 0x0A, 0x05},
    };
    model->set_latency(2ms);
    std::atomic<bool> stop{false};
    std::thread injector = garbage_after_writes(*model, receiver.hid(), garbage, stop);
    int failures = 0;
    for (int i = 0; i < 30; ++i) {
        Bytes reply;
        if (!within([&] { return paired->execute(root_request(), reply, 0, {}); }))
            ++failures;
    }
    stop = true;
    injector.join();
    EXPECT_EQ(failures, 0);
    EXPECT_EQ(changes.count(Changes::key("-", TransportReceiver, kPairedPid)), 0);
    EXPECT_EQ(changes.count(Changes::key("+", TransportReceiver, kPairedPid)), 1);
}

// Several threads keep sending to whichever keyboard device is current while it is unplugged
// and plugged again: every call returns, and the keyboard answers at the end.
TEST_F(Stress, ManyCallersWhileTheKeyboardComesAndGoes)
{
    platform::sim::SimHidProtocolDevice usb(keyboard(kUsbPid, "Usb Board"));
    usb.plug();
    const std::string arrived = Changes::key("+", TransportUsbHid, kUsbPid);
    std::mutex mutex;
    std::shared_ptr<IDevice> current = changes.wait_for(arrived);
    ASSERT_TRUE(current);
    std::atomic<bool> stop{false};
    std::atomic<int> calls{0};
    std::vector<std::thread> callers;
    for (int t = 0; t < 4; ++t)
        callers.emplace_back([&, t] {
            while (!stop) {
                std::shared_ptr<IDevice> device;
                {
                    std::lock_guard<std::mutex> lock(mutex);
                    device = current;
                }
                Bytes reply;
                if (t % 2) {
                    device->execute(root_request(), reply, 0, {});
                } else {
                    auto request = device->send(root_request(), 0, {}, nullptr, 0);
                    if (request->wait())
                        request->check_response();
                }
                ++calls;
            }
        });
    constexpr int kCycles = 6;
    for (int cycle = 1; cycle <= kCycles; ++cycle) {
        const int before = calls.load();
        usb.unplug(cycle % 2 ? Removal::Surprise : Removal::Orderly);
        ASSERT_TRUE(changes.wait_for(Changes::key("-", TransportUsbHid, kUsbPid), cycle)) << cycle;
        usb.plug();
        auto next = changes.wait_for(arrived, cycle + 1);
        ASSERT_TRUE(next) << cycle;
        {
            std::lock_guard<std::mutex> lock(mutex);
            current = next;
        }
        // The callers are not stuck: calls go on after each cycle.
        const auto until = std::chrono::steady_clock::now() + kDeadline;
        while (calls.load() < before + 8 && std::chrono::steady_clock::now() < until)
            std::this_thread::yield();
        EXPECT_GE(calls.load(), before + 8) << cycle;
    }
    stop = true;
    within([&] {
        for (auto& c : callers)
            c.join();
        return 0;
    });
    Bytes reply;
    EXPECT_TRUE(within([&] { return current->execute(root_request(), reply, 0, {}); }));
}

// An application that talks to devices from its arrival and removal handlers, queued on the
// run loop or delivered directly: blocking calls made there end (answered on arrival, failed
// on removal) through plug cycles, with no deadlock against the run loop or the bus.
class Talker : public Subscriber<IDeviceManager::ArrivalRemoval> {
public:
    void onDeviceArrival(std::shared_ptr<IDevice> d) override
    {
        // The receiver speaks its register protocol only: no features to ask it for.
        if (d->getProductId() == quillon::ids::kMiraReceiver[0])
            return add("+ok");
        Bytes reply;
        const bool ok = d->getFeatureCountSync() > 0 && d->execute(root_request(), reply, 0, {});
        add(ok ? "+ok" : "+failed");
    }
    void onDeviceRemoval(std::shared_ptr<IDevice> d) override
    {
        Bytes reply;
        add(d->execute(root_request(), reply, 0, {}) ? "-answered" : "-failed");
    }
    std::vector<std::string> wait_for(std::size_t count)
    {
        std::unique_lock<std::mutex> lock(m_mutex);
        if (!m_condition.wait_for(lock, kDeadline, [&] { return m_events.size() >= count; })) {
            std::fprintf(stderr, "stress: a handler did not end within the deadline\n");
            std::abort();
        }
        return m_events;
    }

private:
    void add(std::string e)
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_events.push_back(std::move(e));
        m_condition.notify_all();
    }
    std::mutex m_mutex;
    std::condition_variable m_condition;
    std::vector<std::string> m_events;
};

TEST_F(Stress, BlockingCallsFromArrivalAndRemovalHandlers)
{
    platform::sim::SimHidProtocolDevice usb(keyboard(kUsbPid, "Usb Board"));
    platform::sim::SimHidReceiver receiver(kReceiverPid, 0x1A2B3C4D);
    ASSERT_NE(receiver.pair(1, keyboard(kPairedPid, "Paired One")), nullptr);
    for (const int direct : {0, 1}) {
        Talker talker;
        ASSERT_TRUE(talker.subscribe(arrivals(), direct, ""));
        for (int cycle = 1; cycle <= 3; ++cycle) {
            const std::string what = "direct " + std::to_string(direct) + " cycle " + std::to_string(cycle);
            usb.plug();
            receiver.plug();
            // Arrivals of the keyboard, the receiver and the paired keyboard.
            auto events = talker.wait_for(6 * cycle - 3);
            usb.unplug(cycle % 2 ? Removal::Surprise : Removal::Orderly);
            receiver.unplug(cycle % 2 ? Removal::Orderly : Removal::Surprise);
            events = talker.wait_for(6 * cycle);
            // A removal handler's request must end; whether a device on its way out still
            // answered it depends on when its hardware went, so either outcome counts.
            int arrived = 0, removed = 0;
            for (std::size_t i = 6 * (cycle - 1); i < events.size(); ++i) {
                arrived += events[i] == "+ok";
                removed += events[i] == "-failed" || events[i] == "-answered";
            }
            EXPECT_EQ(arrived, 3) << what << " " << ::testing::PrintToString(events);
            EXPECT_EQ(removed, 3) << what;
        }
        talker.unsubscribe(arrivals());
    }
}

} // namespace
} // namespace devio
