// Register commands, the receiver bus and the devices paired behind it, against the
// simulated register-protocol receiver.
#include "ReceiverRig.h"

#include "Windows/TSL10Command.h"
#include "devices/SimHidReceiver.h"
#include "core/DeviceRequest.h"
#include "features/IFeature0000Root.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <atomic>

#include <sim/Scenario.h>

namespace devio::test {
namespace {

using namespace TSL10Command;
using ::testing::ElementsAre;

std::shared_ptr<DeviceRequest> answered(std::vector<Byte> command, std::vector<Byte> reply)
{
    auto request = std::make_shared<DeviceRequest>(std::weak_ptr<IDeviceRequestHost>(), command, 0,
                                                   std::vector<unsigned>{});
    request->set_response(reply);
    return request;
}

// ---- Register commands and decoding ----

TEST(RegisterCommands, DecodeNameLengthIsCappedAndShortRepliesReadAsZeros)
{
    std::vector<Byte> reply(20, 0);
    reply[0] = 0x11;
    reply[1] = 0xFF;
    reply[2] = 0x83;
    reply[3] = 0xB5;
    reply[4] = 0x40;
    reply[5] = 20;
    for (int i = 6; i < 20; ++i)
        reply[i] = static_cast<Byte>('a' + i - 6);
    ReceiverPairedDeviceNameResponse name;
    ASSERT_TRUE(decode_paired_device_name(answered(make_command(0x83, 0xB5, 0x40), reply))->get(name));
    EXPECT_EQ(name.name, "abcdefghijklmn");
    reply[5] = 0;
    ASSERT_TRUE(decode_paired_device_name(answered(make_command(0x83, 0xB5, 0x40), reply))->get(name));
    EXPECT_EQ(name.name, "");

    ReceiverConnectionStateResponse state;
    ASSERT_TRUE(decode_connection_state(answered(make_command(0x81, 0x02), {0x10, 0xFF, 0x81, 0x02, 0x00}))->get(state));
    EXPECT_EQ(state.connectedCount, 0u);
    EXPECT_EQ(state.secondValue, 0u);

    // An error reply fails the decoding with its mapped code.
    EXPECT_FALSE(decode_connection_state(answered(make_command(0x81, 0x02), {0x10, 0xFF, 0x8F, 0x81, 0x02, 0x03, 0}))
                     ->get(state));
    EXPECT_EQ(last_error().code, 11u);
    EXPECT_EQ(last_error().detail, 3u);
}

TEST(RegisterCommands, NullDeviceFailsWithItsText)
{
    EXPECT_FALSE(open_receiver_lock(nullptr));
    EXPECT_EQ(last_error().code, 19u);
    EXPECT_STREQ(last_error().text, "null device pointer passed to TSL10Command!");
    ReceiverConnectionStateResponse state;
    EXPECT_FALSE(read_receiver_connection_state(nullptr)->get(state));
    EXPECT_EQ(last_error().code, 19u);
    EXPECT_FALSE(set_receiver_connection_state(nullptr, true)->wait());
    EXPECT_STREQ(last_error().text, "null device pointer passed to set_receiver_connection_state!");
}

TEST(RegisterCommands, AgainstTheReceiver)
{
    ReceiverRig rig;
    rig.pair(1, 0x4001, "Keyboard One");
    rig.pair(2, 0x4010, "Mouse Two");
    auto bus = rig.make_bus();
    bus->attach();

    // Read-modify-write: a bit already set costs one read and no write.
    ASSERT_TRUE(update_receiver_short_register(bus.get(), 0x00, 0, 0x01, 0, 0, 0, 0));
    const int writes = rig.receiver.register_writes(0x00);
    ASSERT_TRUE(update_receiver_short_register(bus.get(), 0x00, 0, 0x01, 0, 0, 0, 0));
    EXPECT_EQ(rig.receiver.register_writes(0x00), writes);
    EXPECT_THAT(rig.receiver.register_value(0x00), ElementsAre(0, 0x01, 0));

    ReceiverConnectionStateResponse state;
    ASSERT_TRUE(read_receiver_connection_state(bus.get())->get(state));
    EXPECT_EQ(state.connectedCount, 2u);

    // Two name reads in flight at once each get their own page.
    auto first = read_receiver_paired_device_name(bus.get(), 0);
    auto second = read_receiver_paired_device_name(bus.get(), 1);
    ReceiverPairedDeviceNameResponse a, b;
    ASSERT_TRUE(second->get(b));
    ASSERT_TRUE(first->get(a));
    EXPECT_EQ(a.name, "Keyboard One");
    EXPECT_EQ(b.name, "Mouse Two");

    ASSERT_TRUE(set_receiver_register_03_bit(bus.get(), 1));
    ASSERT_TRUE(set_receiver_register_03_bit(bus.get(), 0));
    EXPECT_EQ(rig.receiver.register_value(0x03)[0], 0x03);

    // An error reply (invalid value 3) to the unpair of an empty slot: code 11, detail 3.
    EXPECT_FALSE(unpair_receiver_device(bus.get(), 5));
    EXPECT_EQ(last_error().code, 11u);
    EXPECT_EQ(last_error().detail, 3u);

    std::vector<Byte> value;
    ASSERT_TRUE(read_receiver_register_b3(bus.get(), value));
    EXPECT_THAT(value, ElementsAre(0xB0, 0xB1, 0xB2, 0xB3, 0xB4, 0xB5));
    EXPECT_EQ(bus->getSerialNumber(), 0x1A2B3C4Du);
}

// ---- Receiver bus ----

class LockLog : public Subscriber<IReceiver::LockingChange> {
public:
    void onLockingChange(std::shared_ptr<IDevice>, IReceiver::State state, IReceiver::ErrorType) override
    {
        states.push_back(static_cast<int>(state));
    }
    std::vector<int> states;
};

TEST(ReceiverBus, EnumerateReturnsAnnouncedDevicesWithoutPlugEvents)
{
    ReceiverRig rig;
    rig.pair(1, 0x4001, "Keyboard One");
    rig.pair(3, 0x4010, "Mouse Three");
    auto bus = rig.make_bus();
    PlugLog plugs;
    ASSERT_TRUE(plugs.subscribe(std::static_pointer_cast<Producer<IHardwareBus::PlugUnplug>>(bus), 1, ""));
    auto devices = bus->enumerate();
    ASSERT_EQ(devices.size(), 2u);
    EXPECT_EQ(devices[0]->getPath(), "sim#receiver:0");
    EXPECT_EQ(devices[0]->getSubIndex(), 1u);
    EXPECT_EQ(devices[0]->getProductId(), 0x4001);
    EXPECT_EQ(devices[0]->getTransportType(), 1u);
    EXPECT_EQ(devices[1]->getPath(), "sim#receiver:2");
    EXPECT_TRUE(devices[1]->isConnected());
    EXPECT_TRUE(plugs.events().empty());
    EXPECT_EQ(rig.receiver.register_value(0x00)[1] & 0x01, 0x01);
    EXPECT_EQ(devices[1]->getName(), "Mouse Three");
    // The name is cached: a second call sends nothing.
    const int reads = rig.receiver.register_reads(0xB5);
    EXPECT_EQ(devices[1]->getName(), "Mouse Three");
    EXPECT_EQ(rig.receiver.register_reads(0xB5), reads);
}

TEST(ReceiverBus, MissingAnnouncementIsRetriedThreeTimesAndReported)
{
    ReceiverRig rig;
    rig.pair(1, 0x4001, "Keyboard One");
    rig.pair(2, 0x4002, "Keyboard Two");
    rig.receiver.set_missing_announcements(5);
    auto bus = rig.make_bus();
    auto devices = bus->enumerate();
    ASSERT_EQ(devices.size(), 1u);
    EXPECT_EQ(devices[0]->getSubIndex(), 1u);
    EXPECT_EQ(rig.receiver.register_writes(0x02), 3);
    std::size_t reported = 0;
    for (const auto& e : rig.manager->errors())
        reported += e == "RavelinBus";
    EXPECT_EQ(reported, 3u);
}

TEST(ReceiverBus, HotPlugUnpairAndProductChange)
{
    ReceiverRig rig;
    rig.pair(1, 0x4001, "Keyboard One");
    auto bus = rig.make_bus();
    ASSERT_EQ(bus->enumerate().size(), 1u);
    PlugLog plugs;
    ASSERT_TRUE(plugs.subscribe(std::static_pointer_cast<Producer<IHardwareBus::PlugUnplug>>(bus), 1, ""));

    rig.pair(2, 0x4010, "Mouse Two");  // announced by the receiver at once
    ASSERT_TRUE(plugs.wait_count(1));
    EXPECT_EQ(plugs.events()[0], "plug sim#receiver:1");

    rig.receiver.unpair(2);
    ASSERT_TRUE(plugs.wait_count(2));
    EXPECT_EQ(plugs.events()[1], "unplug sim#receiver:1");
    auto placeholder = plugs.devices()[1];
    EXPECT_EQ(placeholder->getProductId(), 0);
    EXPECT_FALSE(placeholder->isConnected());
    EXPECT_EQ(placeholder->getSubIndex(), 2u);
    EXPECT_TRUE(eventually([&] { return !bus->slot(1); }));  // cleared after the unplug is published

    // Another product announced in an occupied slot: the old device loses its link and is
    // unplugged, then the new one is plugged.
    auto old = bus->slot(0);
    bus->onRead({0x10, 1, 0x41, 0x04, 0x00, 0x03, 0x40}, false, 0, 7);
    ASSERT_TRUE(plugs.wait_count(4));
    EXPECT_EQ(plugs.events()[2], "unplug sim#receiver:0");
    EXPECT_EQ(plugs.events()[3], "plug sim#receiver:0");
    EXPECT_FALSE(old->isConnected());
    EXPECT_EQ(plugs.devices()[2]->getProductId(), 0);
    EXPECT_EQ(bus->slot(0)->getProductId(), 0x4003);
}

TEST(ReceiverBus, LockingAndForeignRegisterZeroWrite)
{
    ReceiverRig rig;
    auto bus = rig.make_bus();
    ASSERT_TRUE(bus->enumerate().empty());
    EXPECT_EQ(last_error().code, 0u);
    LockLog locks;
    ASSERT_TRUE(locks.subscribe(std::static_pointer_cast<Producer<IReceiver::LockingChange>>(bus), 1, ""));
    ASSERT_TRUE(bus->openLock());
    EXPECT_TRUE(rig.receiver.lock_open());
    ASSERT_TRUE(bus->closeLock());
    EXPECT_THAT(locks.states, ElementsAre(1, 0));

    // The echo of enabling the notifications ends with a read and no write.
    ASSERT_TRUE(eventually([&] { return rig.receiver.register_reads(0x00) >= 2; }));
    EXPECT_EQ(rig.receiver.register_writes(0x00), 1);

    // Another program clears register 0x00: the bus reads it and sets its bits again; the echo
    // of that write ends with a read: one write in all.
    rig.receiver.overwrite_register_zero(0, 0, 0);
    EXPECT_TRUE(eventually([&] { return rig.receiver.register_reads(0x00) >= 4; }));
    EXPECT_EQ(rig.receiver.register_value(0x00)[1], 0x01);
    EXPECT_EQ(rig.receiver.register_writes(0x00), 2);
}

TEST(ReceiverBus, ConfiguredFlagIsSetOnceAndReleased)
{
    ReceiverRig rig;
    rig.pair(1, 0x4001, "Keyboard One");
    auto bus = rig.make_bus();
    auto devices = bus->enumerate();
    ASSERT_EQ(devices.size(), 1u);
    auto link = std::dynamic_pointer_cast<IReceiverLink>(devices[0]);
    ASSERT_TRUE(link);
    ASSERT_TRUE(link->set_receiver_flag());
    EXPECT_EQ(rig.receiver.register_value(0x00)[1], 0x09);
    ASSERT_TRUE(link->set_receiver_slot_bit());
    EXPECT_EQ(rig.receiver.register_value(0x03)[0], 0x01);
    ASSERT_TRUE(link->clear_receiver_flag());
    EXPECT_EQ(rig.receiver.register_value(0x00)[1], 0x01);
}

class RelayLog : public Subscriber<IHardwareDevice::Read> {
public:
    void onRead(std::vector<Byte> data, bool relayed, unsigned, unsigned) override
    {
        std::lock_guard<std::mutex> lock(mutex);
        reads.push_back({data.size() > 2 ? data[2] : Byte(0), relayed});
    }
    std::vector<std::pair<Byte, bool>> snapshot()
    {
        std::lock_guard<std::mutex> lock(mutex);
        return reads;
    }
    std::mutex mutex;
    std::vector<std::pair<Byte, bool>> reads;
};

// What the dispatcher ignores, what marks a device connected, and a re-activation that finds
// the same devices: no plug or unplug event for any of them.
TEST(ReceiverBus, DispatcherIgnoresForeignNotificationsAndReactivationKeepsTheDevices)
{
    ReceiverRig rig;
    rig.pair(1, 0x4001, "Keyboard One");
    auto bus = rig.make_bus();
    auto devices = bus->enumerate();
    ASSERT_EQ(devices.size(), 1u);
    PlugLog plugs;
    ASSERT_TRUE(plugs.subscribe(std::static_pointer_cast<Producer<IHardwareBus::PlugUnplug>>(bus), 1, ""));

    bus->onRead({0x10, 3, 0x41, 0x02, 0x00, 0x01, 0x40}, false, 0, 7);  // byte 3 = 2: not a connection
    bus->onRead({0x10, 1, 0x40, 0x01, 0x00, 0x00, 0x00}, false, 0, 7);  // byte 3 != 2: not a removal
    bus->onRead({0x10, 7, 0x41, 0x04, 0x00, 0x01, 0x40}, false, 0, 7);  // index above the slot count
    bus->onRead({0x10, 0, 0x41, 0x04, 0x00, 0x01, 0x40}, false, 0, 7);  // index 0
    bus->onRead({0x10, 1, 0x41}, false, 0, 3);                          // too short to mean anything
    EXPECT_TRUE(plugs.events().empty());
    EXPECT_FALSE(bus->slot(2));
    EXPECT_TRUE(bus->slot(0));

    // An error reply of a device marked disconnected leaves it so; any other report connects it,
    // and the device sees that report (marked as relayed) while still disconnected.
    auto paired = bus->slot(0);
    paired->mark_disconnected();
    RelayLog relayed;
    ASSERT_TRUE(relayed.subscribe(std::static_pointer_cast<Producer<IHardwareDevice::Read>>(paired), 1, ""));
    bus->onRead({0x10, 1, 0x8F, 0x00, 0x1A, 0x09, 0x00}, false, 0, 7);
    EXPECT_FALSE(paired->isConnected());
    bus->onRead({0x10, 1, 0x00, 0x1A, 0x01, 0x00, 0x00}, false, 0, 7);
    EXPECT_TRUE(paired->isConnected());
    EXPECT_THAT(relayed.snapshot(), ElementsAre(std::make_pair(Byte(0x8F), true), std::make_pair(Byte(0x00), true)));

    // Connected on that report's word only: another error leaves it so, but the receiver's "cannot
    // reach it" restores the notice of the lost link. Connected by a notice, the device keeps its
    // link through that answer (the receiver may only be waiting for it to wake).
    bus->onRead({0x10, 1, 0x8F, 0x00, 0x1A, 0x07, 0x00}, false, 0, 7);
    EXPECT_TRUE(paired->isConnected());
    bus->onRead({0x10, 1, 0x8F, 0x00, 0x1A, 0x09, 0x00}, false, 0, 7);
    EXPECT_FALSE(paired->isConnected());
    EXPECT_FALSE(paired->stillPresent());
    bus->onRead({0x10, 1, 0x41, 0x04, 0x00, 0x01, 0x40}, false, 0, 7);   // link established
    EXPECT_TRUE(paired->isConnected());
    bus->onRead({0x10, 1, 0x8F, 0x00, 0x1A, 0x09, 0x00}, false, 0, 7);
    EXPECT_TRUE(paired->isConnected());
    EXPECT_EQ(bus->slot(0), paired);

    bus->onActiveChanged(false);
    bus->onActiveChanged(true);
    EXPECT_EQ(bus->slot(0), paired);
    EXPECT_TRUE(plugs.events().empty());
}

// ---- Devices paired behind the receiver ----

TEST(PairedDevice, WritesCarryTheIndexAndFailWhileUnlinked)
{
    ReceiverRig rig;
    auto& model = rig.pair(2, 0x4001, "Keyboard Two");
    auto bus = rig.make_bus();
    auto devices = bus->enumerate();
    ASSERT_EQ(devices.size(), 1u);
    auto device = devices[0];

    // Byte 1 is the device index whatever it held.
    ASSERT_TRUE(device->write({0x10, 0x77, 0x00, 0x1A, 0, 0, 0x5A}, false));
    ASSERT_TRUE(model.wait_for_writes(1, 10s));
    EXPECT_EQ(model.written()[0][1], 2);

    EXPECT_FALSE(device->write({0x10}, false));
    EXPECT_EQ(last_error().code, 71u);

    rig.receiver.unlink(2);
    EXPECT_TRUE(eventually([&] { return !device->isConnected(); }));
    EXPECT_FALSE(device->stillPresent());
    EXPECT_FALSE(device->write({0x10, 0x02, 0x00, 0x1A, 0, 0, 0}, false));
    EXPECT_EQ(last_error().code, 5u);
    EXPECT_EQ(model.write_count(), 1u);

    rig.receiver.link(2);
    EXPECT_TRUE(eventually([&] { return device->isConnected(); }));
    EXPECT_FALSE(device->stillPresent());  // until the next write
    ASSERT_TRUE(device->write({0x10, 0x02, 0x00, 0x1A, 0, 0, 0}, false));
    EXPECT_TRUE(device->stillPresent());
}

TEST(PairedDevice, AProtocolDeviceBehindTheReceiverAnswersFeatureRequests)
{
    ReceiverRig rig;
    rig.pair(1, 0x4001, "Keyboard One");
    auto bus = rig.make_bus();
    auto devices = bus->enumerate();
    ASSERT_EQ(devices.size(), 1u);
    auto device = Device::create(rig.manager, devices[0], rig.manager->config());
    device->initDevice(rig.manager);
    ASSERT_TRUE(device->attach());
    // Feature 0x0001 is found through Root: request and reply travel through the relay.
    auto features = device->discoverFeatures();
    EXPECT_FALSE(features.empty());
    EXPECT_EQ(device->getTransport(), 1u);
    device->close();
}

// ---- The receiver as a scenario kind ----

TEST(ReceiverScenario, BuildsTheReceiverWithItsPairedDevices)
{
    auto scenario = platform::sim::Scenario::from_text(
        "<scenario><device kind=\"receiver\" name=\"rx\" vendor=\"0x7E51\" product=\"0xC510\">"
        "<paired slot=\"2\" kind=\"mouse\" product=\"0x4010\" name=\"Sim Mouse\"/>"
        "</device></scenario>");
    scenario.plug();
    const auto* rx = scenario.device("rx");
    ASSERT_NE(rx, nullptr);
    ASSERT_EQ(rx->collections.size(), 2u);
    EXPECT_TRUE(rx->collections[0]->is_present());
    auto receiver = std::static_pointer_cast<platform::sim::SimHidReceiver>(rx->model);
    EXPECT_TRUE(receiver->receiver().is_paired(2));
    ASSERT_NE(receiver->paired(2), nullptr);
    EXPECT_EQ(receiver->paired(2)->product_id(), 0x4010);

    EXPECT_THROW(platform::sim::Scenario::from_text(
                     "<scenario><device kind=\"receiver\" product=\"0xC511\">"
                     "<paired slot=\"9\"/></device></scenario>"),
                 platform::sim::ScenarioError);
    platform::sim::remove_all_dev_nodes();
}

} // namespace
} // namespace devio::test
