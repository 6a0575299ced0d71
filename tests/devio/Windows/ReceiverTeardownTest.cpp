// A receiver bus and the protocol devices behind its slots torn down while their requests are
// queued, replies are on their way, timers run and continuations wait for the run loop: every
// request ends exactly once, and nothing of the receiver outlives the teardown. The objects are
// watched here because the leak check at exit misses a device kept in a cycle: its worker
// thread, still waiting, holds a weak reference into the device's own allocation.
#include "ReceiverRig.h"

#include "Windows/TSL10Command.h"
#include "core/DataRequest.h"
#include "core/Request.h"
#include "support/Within.h"

#include <gtest/gtest.h>

#include <chrono>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace devio::test {
namespace {

using quillon::test::within;

constexpr int kSlots = 3;

// How often each chain ended; shared with the chains, which may end on any thread.
struct Tally {
    std::mutex mutex;
    std::vector<int> ends;

    std::size_t add()
    {
        std::lock_guard<std::mutex> lock(mutex);
        ends.push_back(0);
        return ends.size() - 1;
    }
    void ended(std::size_t index)
    {
        std::lock_guard<std::mutex> lock(mutex);
        ++ends[index];
    }
    std::size_t size()
    {
        std::lock_guard<std::mutex> lock(mutex);
        return ends.size();
    }
    std::size_t ended_count()
    {
        std::lock_guard<std::mutex> lock(mutex);
        std::size_t n = 0;
        for (int e : ends)
            n += e != 0;
        return n;
    }
    bool all_ended()
    {
        std::lock_guard<std::mutex> lock(mutex);
        for (int n : ends)
            if (n == 0)
                return false;
        return true;
    }
    std::vector<int> snapshot()
    {
        std::lock_guard<std::mutex> lock(mutex);
        return ends;
    }
};

enum class Order { ReceiverUnplugged, BusDroppedFirst, PairedDevicesDroppedFirst, RunLoopStoppedFirst };

struct Row {
    const char* name;
    Order order;
};

const Row kRows[] = {
    {"receiver unplugged, then everything let go", Order::ReceiverUnplugged},
    {"bus let go while paired devices have requests queued", Order::BusDroppedFirst},
    {"paired devices let go while their replies arrive", Order::PairedDevicesDroppedFirst},
    {"run loop stopped while continuations wait for it", Order::RunLoopStoppedFirst},
};

// One round: a receiver with three paired protocol devices, traffic of every kind in flight,
// then a teardown in the row's order.
void run_round(const Row& row, unsigned round)
{
    auto tally = std::make_shared<Tally>();
    // Owner of every continuation: alive until the round's checks are done.
    auto owner = std::make_shared<int>(0);
    std::vector<std::weak_ptr<void>> watched;
    {
        ReceiverRig rig;
        for (int slot = 1; slot <= kSlots; ++slot)
            rig.pair(slot, static_cast<std::uint16_t>(0x4000 + slot), "Paired " + std::to_string(slot));
        // One device never answers: its requests time out and it goes into quarantine.
        rig.models[kSlots - 1]->set_silent(true);
        auto bus = rig.make_bus();
        auto hardware = bus->enumerate();
        ASSERT_EQ(hardware.size(), static_cast<std::size_t>(kSlots));
        watched.push_back(bus);
        std::vector<std::shared_ptr<Device>> devices;
        for (const auto& h : hardware) {
            auto device = Device::create(rig.manager, h, rig.manager->config());
            device->initDevice(rig.manager);
            device->attach();
            device->set_parameters(2, 1, 1);
            devices.push_back(device);
            watched.push_back(device);
            watched.push_back(h);
        }
        // Built; now reply time-outs of a few milliseconds, and the cache, firmware-check and
        // quarantine timers fire within the round.
        Timing::setScale(1, 1000);

        // Each chain ends in a step that counts; a chain whose continuation was discarded
        // still reaches it, with a failure.
        auto count_end = [&](const std::shared_ptr<IRequest>& chain) {
            const std::size_t index = tally->add();
            watched.push_back(chain);
            chain->then(
                owner,
                [tally, index](bool) {
                    tally->ended(index);
                    return make_immediate_success();
                },
                "count the end");
        };
        auto send_traffic = [&](unsigned seed) {
            for (std::size_t i = 0; i < devices.size(); ++i) {
                const auto& device = devices[i];
                const Byte ping = static_cast<Byte>(16 + (seed + i) % 200);
                const Byte sw = static_cast<Byte>(device->getSoftwareId() & 0x0F);
                // A ping, and a cacheable lookup whose success starts the cache timer.
                for (auto request : {device->send({0x10, 0xFF, 0x00, static_cast<Byte>(0x10 | sw), 0, 0, ping}, 0,
                                                  {2}, nullptr, 0),
                                     device->send({0x10, 0xFF, 0x00, sw, 0x00, 0x01, 0x00}, 1, {}, nullptr, 0)}) {
                    watched.push_back(request);
                    count_end(request->then(
                        owner, [](std::shared_ptr<IDeviceRequest>) { return make_immediate_success(); },
                        "paired request"));
                }
                // A chain of feature lookups on the paired device.
                count_end(device->getFeature(0x0001)->then(
                    owner, [](std::shared_ptr<IFeature>*) { return make_immediate_success(); }, "feature lookup"));
                // The name, read through the receiver's own queue.
                count_end(hardware[i]->nameRequest()->then(
                    owner, [](std::string*) { return make_immediate_success(); }, "paired name"));
                // A chain that holds its device, as a caller's may (and the name request's holds
                // the paired hardware): it must not keep the device once its run loop is gone.
                count_end(device->send({0x10, 0xFF, 0x00, static_cast<Byte>(0x10 | sw), 0, 0, ping}, 0, {2},
                                       nullptr, 0)
                              ->then(owner, [device](std::shared_ptr<IDeviceRequest>) {
                                  return make_immediate_success();
                              }, "holds its device"));
            }
            count_end(TSL10Command::read_receiver_connection_state(bus.get())
                          ->then(owner, [bus](TSL10Command::ReceiverConnectionStateResponse*) {
                              return make_immediate_success();
                          }, "holds the receiver"));
        };

        rig.receiver.set_latency(std::chrono::microseconds(200 * (round % 5)));
        send_traffic(round);
        // Link notices while requests run: a paired device connects again (its firmware-check
        // timer), and the silent one leaves and returns while it may be going into quarantine.
        for (int slot : {1, kSlots}) {
            rig.receiver.unlink(slot);
            rig.receiver.link(slot);
        }
        // A caller blocked on the receiver's queue while everything goes.
        std::shared_ptr<IHardwareDevice> named = hardware[1];
        std::thread blocked([named] { named->getName(); });
        send_traffic(round + 1);
        // Every other round lets the traffic get well under way first: half of it has ended
        // (replies, time-outs, perhaps a quarantine) when the teardown begins.
        if (round % 2 == 1) {
            EXPECT_TRUE(eventually([&] { return tally->ended_count() * 2 >= tally->size(); }));
        }

        auto drop_devices = [&] { devices.clear(); };
        auto drop_bus = [&] {
            hardware.clear();
            named.reset();
            bus.reset();
            rig.bus.reset();
        };
        switch (row.order) {
        case Order::ReceiverUnplugged:
            for (int slot = 1; slot <= kSlots; ++slot)
                rig.receiver.unpair(slot);
            rig.hardware->Producer<IHardwareDevice::FastDisconnect>::notify(
                [](IHardwareDevice::FastDisconnect* s) { s->onFastDisconnect(); }, "unplugged");
            drop_devices();
            drop_bus();
            rig.manager->shutdown();
            break;
        case Order::BusDroppedFirst:
            drop_bus();
            drop_devices();
            rig.manager->shutdown();
            break;
        case Order::PairedDevicesDroppedFirst:
            drop_devices();
            drop_bus();
            rig.manager->shutdown();
            break;
        case Order::RunLoopStoppedFirst:
            rig.manager->shutdown();
            // Requests that end after the run loop stopped: nothing will ever run their
            // continuations through it.
            send_traffic(round + 2);
            drop_devices();
            drop_bus();
            break;
        }
        within([&] { blocked.join(); }, "the blocked name request");
        // The rig lets go of the hardware and the receiver model last.
    }
    EXPECT_TRUE(eventually([&] { return tally->all_ended(); }))
        << "a request never ended";
    const std::vector<int> ends = tally->snapshot();
    for (std::size_t i = 0; i < ends.size(); ++i)
        EXPECT_EQ(ends[i], 1) << "chain " << i;
    EXPECT_TRUE(eventually([&] {
        for (const auto& w : watched)
            if (!w.expired())
                return false;
        return true;
    })) << "an object outlived the teardown";
}

TEST(ReceiverTeardown, EveryRequestEndsOnceAndNothingOutlivesTheReceiver)
{
    // A few seconds on two cores, also under ThreadSanitizer.
    constexpr unsigned kRounds = 6;
    for (const Row& row : kRows) {
        SCOPED_TRACE(row.name);
        for (unsigned round = 0; round < kRounds; ++round) {
            SCOPED_TRACE("round " + std::to_string(round));
            run_round(row, round);
            if (::testing::Test::HasFailure())
                return;
        }
    }
}

} // namespace
} // namespace devio::test
