// The over-the-air side of the protocol device behind the receiver, driven through the stand-in's
// file calls on the receiver's collections as the engine drives it.
#include "platform/devices/HidPort.h"
#include "devices/SimHidReceiver.h"
#include "devices/SimOta.h"

#include <sim/DeviceTree.h>

#include <gtest/gtest.h>

using namespace platform::sim;
using namespace std::chrono_literals;
using simtest::HidPort;

namespace {

constexpr std::uint8_t kAck = 0x00, kRestart = 0x02, kChecked = 0x04, kError = 0x08;

class OverTheAir : public ::testing::Test {
protected:
    void SetUp() override
    {
        remove_all_dev_nodes();
        rx = std::make_unique<SimHidReceiver>(0xC510, 0x01020304);
    }
    void TearDown() override
    {
        shortPort.reset();
        longPort.reset();
        rx.reset();
        remove_all_dev_nodes();
    }
    // A keyboard in slot 1 that switches with 0x00C0 (feature index 7), or a protocol 1.0 one.
    void start(bool protocol10 = false)
    {
        SimProtocolConfig config = sim_keyboard_config();
        config.features.back() = {0x00C0, 0, 0};
        config.updated_number = 0x0305;
        config.updated_build = 0x0044;
        device = rx->pair(1, config);
        ASSERT_NE(device, nullptr);
        device->set_protocol10(protocol10);
        device->ota().set_relink_delay(2ms);
        rx->plug();
        shortPort = std::make_unique<HidPort>(rx->hid().short_collection());
        longPort = std::make_unique<HidPort>(rx->hid().long_collection());
        ASSERT_EQ(shortPort->ask({0x10, 0xFF, 0x80, 0x00, 0, 0x01, 0})[2], 0x80);   // notifications on
    }
    // The next connection notification of slot 1: true when linked.
    bool next_link()
    {
        const Bytes n = shortPort->read_until([](const Bytes& r) { return r[1] == 1 && r[2] == 0x41; });
        EXPECT_FALSE(n.empty());
        return !n.empty() && (n[4] & 0x40) == 0;
    }
    void route(std::uint8_t third)
    {
        const Bytes text = third == 'X' ? Bytes{'X', 'I', 'T'} : Bytes{'L', 'T', third};
        EXPECT_EQ(shortPort->ask({0x10, 0xFF, 0x80, 0xF0, text[0], text[1], text[2]})[2], 0x80);
    }
    void switch_by_feature()
    {
        const Bytes r = longPort->ask({0x11, 0x01, 0x07, 0x02, 'D', 'F', 'U'});
        ASSERT_EQ(r.size(), 20u);
        EXPECT_EQ(Bytes(r.begin() + 4, r.begin() + 7), (Bytes{'D', 'F', 'U'}));
        EXPECT_FALSE(next_link());
    }
    // One 0xE2 packet: its status, or -1 when no answer came.
    int packet(std::uint8_t command, const Bytes& data = {}, std::chrono::milliseconds deadline = 5s)
    {
        Bytes p{0x11, 0x01, 0x82, 0xE2, command};
        for (std::size_t i = 0; i < 15; ++i)
            p.push_back(i < data.size() ? data[i] : 0xFF);
        if (!longPort->write(p))
            return -1;
        const Bytes r = shortPort->read_until([](const Bytes& x) { return x[1] == 1 && (x[2] == 0x82 || x[2] == 0x8F); },
                                              deadline);
        return r.empty() || r[2] != 0x82 ? -1 : r[4];
    }

    std::unique_ptr<SimHidReceiver> rx;
    SimProtocolDevice* device = nullptr;
    std::unique_ptr<HidPort> shortPort;
    std::unique_ptr<HidPort> longPort;
};

TEST_F(OverTheAir, AFeatureDeviceIsUpdatedThroughItsBootloader)
{
    start();
    switch_by_feature();
    EXPECT_TRUE(device->ota().in_bootloader());
    route(1);
    EXPECT_TRUE(next_link());
    // The bootloader speaks registers only.
    EXPECT_EQ(shortPort->ask({0x10, 0x01, 0x00, 0x12, 0, 0, 0}), (Bytes{0x10, 0x01, 0x8F, 0x00, 0x12, 0x01, 0}));
    Bytes image(31);
    for (std::size_t i = 0; i < image.size(); ++i)
        image[i] = static_cast<std::uint8_t>(i + 1);
    EXPECT_EQ(packet(2, Bytes(image.begin(), image.begin() + 15)), kAck);
    EXPECT_EQ(packet(1, Bytes(image.begin() + 15, image.begin() + 30)), kAck);
    EXPECT_EQ(packet(1, Bytes(image.begin() + 15, image.begin() + 30)), kAck);   // a repeat is taken once
    EXPECT_EQ(packet(0, Bytes(image.begin() + 30, image.end())), kAck);
    EXPECT_EQ(packet(8), kChecked);
    Bytes expected = image;
    expected.resize(45, 0xFF);
    EXPECT_EQ(device->ota().image(), expected);
    EXPECT_EQ(packet(4), kAck);
    EXPECT_FALSE(next_link());
    EXPECT_TRUE(next_link());   // back in its application, with the new version
    EXPECT_FALSE(device->ota().in_bootloader());
    EXPECT_EQ(device->firmware()[0].number, 0x0305);
    EXPECT_EQ(device->firmware()[0].build, 0x0044);
    route('X');   // nothing left to end
    EXPECT_TRUE(rx->receiver().is_linked(1));
}

TEST_F(OverTheAir, PacketFaultsAnswerAsSwitched)
{
    struct Row {
        const char* name;
        SimOta::Fault fault;
        std::vector<int> statuses;   // of packets 2, 1, 0, then 8
    } rows[] = {
        // A packet answered with a fault was not taken: 0 is then out of turn.
        {"restart requested", SimOta::Fault::RestartRequest, {kAck, kRestart, kRestart, kChecked}},
        {"error status", SimOta::Fault::ErrorStatus, {kAck, kError, kRestart, kChecked}},
        {"never checked", SimOta::Fault::NeverChecked, {kAck, kAck, kAck, kAck}},
        {"link lost", SimOta::Fault::LinkLoss, {kAck, -1, kAck, kChecked}},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        start();
        switch_by_feature();
        route(1);
        EXPECT_TRUE(next_link());
        device->ota().set_fault(row.fault, 2);
        EXPECT_EQ(packet(2), row.statuses[0]);
        if (row.fault == SimOta::Fault::LinkLoss) {
            // Lost with the link, which comes back by itself; the same packet then goes through.
            ASSERT_TRUE(longPort->write({0x11, 0x01, 0x82, 0xE2, 1}));
            EXPECT_FALSE(next_link());
            EXPECT_TRUE(next_link());
        }
        EXPECT_EQ(packet(1), row.fault == SimOta::Fault::LinkLoss ? kAck : row.statuses[1]);
        EXPECT_EQ(packet(0), row.statuses[2]);
        EXPECT_EQ(packet(8), row.statuses[3]);
        shortPort.reset();
        longPort.reset();
        rx = std::make_unique<SimHidReceiver>(0xC510, 0x01020304);
    }
}

TEST_F(OverTheAir, ADeviceGoneBeforeItsLinkDropsIsAnsweredUnreachable)
{
    start();
    // The device goes and the receiver has not heard of it yet: a request still gets an answer.
    device->set_presence_handler(nullptr);
    device->disappear();
    ASSERT_TRUE(rx->receiver().is_linked(1));
    ASSERT_TRUE(longPort->write({0x11, 0x01, 0x07, 0x02, 'D', 'F', 'U'}));
    EXPECT_EQ(shortPort->read_until([](const Bytes& r) { return r[1] == 1 && r[2] == 0x8F; }),
              (Bytes{0x10, 0x01, 0x8F, 0x07, 0x02, 0x09, 0}));
    EXPECT_EQ(device->write_count(), 0u);
}

TEST_F(OverTheAir, AnUncheckedImageLeavesTheDeviceInItsBootloaderForRecovery)
{
    start();
    switch_by_feature();
    route(1);
    EXPECT_TRUE(next_link());
    EXPECT_EQ(packet(2), kAck);
    EXPECT_EQ(packet(4), kAck);
    EXPECT_FALSE(next_link());
    EXPECT_TRUE(device->ota().in_bootloader());
    route('X');   // not routed: nothing to end
    // Recovery routes whichever device waits in its bootloader; it answers its version.
    route('u');
    EXPECT_TRUE(next_link());
    const Bytes v = shortPort->ask({0x10, 0x01, 0x81, 0xF1, 1, 0, 0});
    EXPECT_EQ(v, (Bytes{0x10, 0x01, 0x81, 0xF1, 1, 0x01, 0x02}));
    route('X');
    EXPECT_FALSE(next_link());
}

TEST_F(OverTheAir, ProtocolOneDeviceAnswersItsRegisters)
{
    start(true);
    device->set_battery(20, 10);
    struct Row {
        const char* name;
        Bytes request;
        Bytes reply;
    } rows[] = {
        {"battery level class", {0x10, 0x01, 0x81, 0x07, 0, 0, 0}, {0x10, 0x01, 0x81, 0x07, 0x01, 0, 0}},
        {"battery percent", {0x10, 0x01, 0x81, 0x0D, 0, 0, 0}, {0x10, 0x01, 0x81, 0x0D, 0, 0, 20}},
        {"firmware number", {0x10, 0x01, 0x81, 0xF1, 1, 0, 0}, {0x10, 0x01, 0x81, 0xF1, 1, 0x01, 0x02}},
        {"build", {0x10, 0x01, 0x81, 0xF1, 2, 0, 0}, {0x10, 0x01, 0x81, 0xF1, 2, 0x00, 0x33}},
        {"bootloader", {0x10, 0x01, 0x81, 0xF1, 4, 0, 0}, {0x10, 0x01, 0x81, 0xF1, 4, 0x01, 0x00}},
        {"feature request", {0x10, 0x01, 0x00, 0x12, 0, 0, 0}, {0x10, 0x01, 0x8F, 0x00, 0x12, 0x01, 0}},
        {"bad switch", {0x10, 0x01, 0x80, 0xF0, 'O', 'T', 'X'}, {0x10, 0x01, 0x8F, 0x80, 0xF0, 0x03, 0}},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        EXPECT_EQ(shortPort->ask(row.request), row.reply);
    }
    device->ota().set_battery_register_0d(false);
    EXPECT_EQ(shortPort->ask({0x10, 0x01, 0x81, 0x0D, 0, 0, 0})[2], 0x8F);
    EXPECT_EQ(shortPort->ask({0x10, 0x01, 0x80, 0xF0, 'O', 'T', 'A'}), (Bytes{0x10, 0x01, 0x80, 0xF0, 0, 0, 0}));
    EXPECT_FALSE(next_link());
    route(1);
    EXPECT_TRUE(next_link());
    EXPECT_EQ(packet(2), kAck);
}

TEST_F(OverTheAir, RoutingADeviceInItsApplicationDoesNothing)
{
    start();
    route(1);
    EXPECT_TRUE(shortPort->read_until([](const Bytes& r) { return r[2] == 0x41; }, 100ms).empty());
    EXPECT_EQ(packet(2, {}, 200ms), -1);   // the application does not take packets
    EXPECT_FALSE(device->ota().in_bootloader());
}

}  // namespace
