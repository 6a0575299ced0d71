// The receiver's firmware registers, its latency and its way into the bootloader, driven through
// the stand-in's file calls on its HID collections as the engine drives them.
#include "platform/devices/HidPort.h"
#include "devices/SimHidReceiver.h"
#include "devices/SimOta.h"

#include <sim/DeviceTree.h>

#include <gtest/gtest.h>

using namespace platform::sim;
using namespace std::chrono_literals;
using simtest::HidPort;

namespace {

class ReceiverFirmware : public ::testing::Test {
protected:
    void SetUp() override
    {
        remove_all_dev_nodes();
        rx = std::make_unique<SimHidReceiver>(0xC510, 0x1A2B3C4D);
        rx->set_switch_delays(5ms, 5ms);
        SimProtocolConfig mouse = sim_mouse_config();
        mouse.unit_id = 0x11223344;
        rx->pair(2, mouse);
        rx->plug();
        shortPort = std::make_unique<HidPort>(rx->hid().short_collection());
        longPort = std::make_unique<HidPort>(rx->hid().long_collection());
        ASSERT_TRUE(shortPort->open() && longPort->open());
    }
    void TearDown() override
    {
        shortPort.reset();
        longPort.reset();
        rx.reset();
        remove_all_dev_nodes();
    }
    Bytes long_read(std::uint8_t reg, std::uint8_t page)
    {
        EXPECT_TRUE(shortPort->write({0x10, 0xFF, 0x83, reg, page, 0, 0}));
        return longPort->read_until([&](const Bytes& r) { return r[2] == 0x83 && r[3] == reg; }, 2s);
    }

    std::unique_ptr<SimHidReceiver> rx;
    std::unique_ptr<HidPort> shortPort;
    std::unique_ptr<HidPort> longPort;
};

TEST_F(ReceiverFirmware, VersionRegisterAnswersItsFourParameters)
{
    SimReceiverVersion v;
    v.number = 0x12;
    v.release = 0x03;
    v.build = 0x0456;
    v.hardware = 0x0007;
    v.bootloaderMajor = 0x02;
    v.bootloaderMinor = 0x09;
    rx->receiver().set_version(v);
    struct Row {
        const char* name;
        std::uint8_t parameter;
        Bytes expected;
    } rows[] = {
        {"number and release", 1, {0x10, 0xFF, 0x81, 0xF1, 1, 0x12, 0x03}},
        {"build", 2, {0x10, 0xFF, 0x81, 0xF1, 2, 0x04, 0x56}},
        {"hardware", 3, {0x10, 0xFF, 0x81, 0xF1, 3, 0x00, 0x07}},
        {"bootloader", 4, {0x10, 0xFF, 0x81, 0xF1, 4, 0x02, 0x09}},
        {"unknown parameter", 5, {0x10, 0xFF, 0x8F, 0x81, 0xF1, 0x03, 0}},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        EXPECT_EQ(shortPort->ask({0x10, 0xFF, 0x81, 0xF1, row.parameter, 0, 0}), row.expected);
    }
}

TEST_F(ReceiverFirmware, FactoryFirmwareFollowsTheSelectionTable)
{
    // C510 runs 0x12 and restarts into AA10; the others of the catalogue likewise.
    struct Row {
        std::uint16_t receiver;
        std::uint8_t number;
        std::uint16_t bootloader;
        SimBootloaderFamily family;
    } rows[] = {
        {0xC510, 0x12, 0xAA10, SimBootloaderFamily::PureHid}, {0xC511, 0x21, 0xAA11, SimBootloaderFamily::PureHid},
        {0xC520, 0x13, 0xAA20, SimBootloaderFamily::WrenHid}, {0xC521, 0x24, 0xAA21, SimBootloaderFamily::WrenHid},
        {0xC530, 0x39, 0xAA30, SimBootloaderFamily::FenMarl}, {0xC531, 0x40, 0xAA31, SimBootloaderFamily::FenMarl},
        {0xC540, 0x42, 0xAA32, SimBootloaderFamily::FenMarl}, {0xC523, 0x13, 0xAA20, SimBootloaderFamily::WrenHid},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.receiver);
        const SimReceiverFirmware f = default_receiver_firmware(row.receiver);
        EXPECT_EQ(f.version.number, row.number);
        EXPECT_EQ(f.bootloaderProductId, row.bootloader);
        EXPECT_EQ(f.family, row.family);
        EXPECT_EQ(f.updated.number, row.number);
        EXPECT_GT(f.updated.release, f.version.release);
    }
}

TEST_F(ReceiverFirmware, RoutingRegisterTakesItsCommandsAndReadsThemBack)
{
    struct Row {
        const char* name;
        Bytes text;
        bool taken;
    } rows[] = {
        {"route slot 2", {'L', 'T', 2}, true},
        {"route unknown", {'L', 'T', 'u'}, true},
        {"end routing", {'X', 'I', 'T'}, true},
        {"slot out of range", {'L', 'T', 7}, false},
        {"anything else", {'A', 'B', 'C'}, false},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        const Bytes before = shortPort->ask({0x10, 0xFF, 0x81, 0xF0, 0, 0, 0});
        const Bytes reply = shortPort->ask({0x10, 0xFF, 0x80, 0xF0, row.text[0], row.text[1], row.text[2]});
        ASSERT_GE(reply.size(), 7u);
        EXPECT_EQ(reply[2], row.taken ? 0x80 : 0x8F);
        const Bytes after = shortPort->ask({0x10, 0xFF, 0x81, 0xF0, 0, 0, 0});
        ASSERT_EQ(after.size(), 7u);
        const Bytes value(after.begin() + 4, after.end());
        EXPECT_EQ(value, row.taken ? row.text : Bytes(before.begin() + 4, before.end()));
    }
    EXPECT_TRUE(rx->hid().is_present());   // none of these leaves
}

TEST_F(ReceiverFirmware, PairingPagesTellSerialsAndSlider)
{
    SimReceiver::PairedDetails details;
    details.deviceType = 2;
    details.serial = 0x11223344;
    details.slider = 0x05;
    rx->receiver().set_paired_details(2, details);
    struct Row {
        const char* name;
        std::uint8_t page;
        Bytes payload;   // bytes 1..4 and 9, or empty for an error
    } rows[] = {
        {"receiver serial", 0x03, {0x1A, 0x2B, 0x3C, 0x4D, 0}},
        {"page 0x30 keeps the receiver serial", 0x30, {0x1A, 0x2B, 0x3C, 0x4D, 0}},
        {"paired device in slot 2", 0x31, {0x11, 0x22, 0x33, 0x44, 0x05}},
        {"empty slot 3", 0x32, {}},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        EXPECT_TRUE(shortPort->write({0x10, 0xFF, 0x83, 0xB5, row.page, 0, 0}));
        if (row.payload.empty()) {
            const Bytes error = shortPort->read_until([](const Bytes& r) { return r[2] == 0x8F; }, 2s);
            EXPECT_EQ(error, (Bytes{0x10, 0xFF, 0x8F, 0x83, 0xB5, 0x03, 0}));
            continue;
        }
        const Bytes r = longPort->read_until([](const Bytes& x) { return x[2] == 0x83; }, 2s);
        ASSERT_EQ(r.size(), 20u);
        EXPECT_EQ(r[4], row.page);
        EXPECT_EQ((Bytes{r[5], r[6], r[7], r[8], r[13]}), row.payload);
    }
}

TEST_F(ReceiverFirmware, ConnectionNotificationCarriesTheDeviceType)
{
    EXPECT_EQ(shortPort->ask({0x10, 0xFF, 0x80, 0x00, 0, 0x01, 0})[2], 0x80);
    ASSERT_TRUE(shortPort->write({0x10, 0xFF, 0x80, 0x02, 0x02, 0, 0}));
    const Bytes note = shortPort->read_until([](const Bytes& r) { return r[2] == 0x41; });
    ASSERT_EQ(note.size(), 7u);
    EXPECT_EQ(note[1], 2);
    EXPECT_EQ(note[4] & 0x0F, 2);   // a mouse
    EXPECT_EQ(note[4] & 0x40, 0);   // linked
    EXPECT_EQ(note[5] | note[6] << 8, 0x4010);
}

TEST_F(ReceiverFirmware, LatencyHoldsRepliesAndRelayedReportsBack)
{
    rx->receiver().set_latency(20ms);
    auto before = std::chrono::steady_clock::now();
    EXPECT_EQ(shortPort->ask({0x10, 0xFF, 0x81, 0xF1, 1, 0, 0}).size(), 7u);
    EXPECT_GE(std::chrono::steady_clock::now() - before, 20ms);
    // A protocol request to the paired mouse: its reply is relayed as late.
    before = std::chrono::steady_clock::now();
    ASSERT_TRUE(longPort->write({0x11, 0x02, 0x00, 0x12, 0, 0, 0x5A}));
    const Bytes r = longPort->read_until([](const Bytes& x) { return x[1] == 2 && x[2] == 0x00; });
    ASSERT_FALSE(r.empty());
    EXPECT_GE(std::chrono::steady_clock::now() - before, 20ms);
}

TEST_F(ReceiverFirmware, LostReadRepliesFollowTheirRegisterAndCount)
{
    rx->receiver().drop_read_replies(0x02, 1, 2);
    const Bytes readConnected{0x10, 0xFF, 0x81, 0x02, 0, 0, 0};
    EXPECT_EQ(shortPort->ask(readConnected)[5], 1) << "the first read is answered: one device";
    // Two reads of it lost, while another register still answers: its reply is the next one.
    ASSERT_TRUE(shortPort->write(readConnected));
    ASSERT_TRUE(shortPort->write(readConnected));
    ASSERT_TRUE(shortPort->write({0x10, 0xFF, 0x81, 0x00, 0, 0, 0}));
    const Bytes next = shortPort->read_until([](const Bytes& x) { return x[2] == 0x81; });
    ASSERT_FALSE(next.empty());
    EXPECT_EQ(next[3], 0x00);
    EXPECT_EQ(shortPort->ask(readConnected)[5], 1) << "answered again once the count is spent";
    EXPECT_EQ(rx->receiver().register_reads(0x02), 4);
}

TEST_F(ReceiverFirmware, IcpSwapsTheReceiverForItsBootloaderAndARestartBringsItBack)
{
    ASSERT_NE(rx->bootloader(), nullptr);
    EXPECT_EQ(shortPort->ask({0x10, 0xFF, 0x80, 0xF0, 'I', 'C', 'P'})[2], 0x80);
    ASSERT_TRUE(rx->wait_for_mode(true, 5s));
    EXPECT_FALSE(rx->hid().is_present());
    EXPECT_TRUE(shortPort->read(1s).empty());
    EXPECT_EQ(shortPort->error(), static_cast<DWORD>(ERROR_DEVICE_NOT_CONNECTED));
    auto collection = rx->bootloader()->collection();
    EXPECT_EQ(collection->layout().usagePage, 0xFFB0);
    EXPECT_EQ(collection->layout().productId, 0xAA10);
    HidPort boot(collection);
    ASSERT_TRUE(boot.open());
    // A restart with nothing written brings the bootloader back, not the receiver.
    ASSERT_TRUE(boot.write({0x00, 0x70}));
    const Bytes restarted = boot.read();
    ASSERT_FALSE(restarted.empty());
    EXPECT_EQ(restarted[1], 0x70);
    EXPECT_TRUE(boot.read(5s).empty());   // it restarts: the handle is dead
    EXPECT_EQ(boot.error(), static_cast<DWORD>(ERROR_DEVICE_NOT_CONNECTED));
    ASSERT_TRUE(rx->wait_for_mode(true, 5s));
    EXPECT_TRUE(rx->bootloader()->is_present());
    EXPECT_FALSE(rx->hid().is_present());
}

TEST_F(ReceiverFirmware, WithoutBootloaderIcpIsTakenAndNothingFollows)
{
    SimReceiverFirmware f = rx->firmware();
    f.family = SimBootloaderFamily::None;
    rx->set_firmware(f, sim_bootloader_config(SimBootloaderFamily::None));
    EXPECT_EQ(shortPort->ask({0x10, 0xFF, 0x80, 0xF0, 'I', 'C', 'P'})[2], 0x80);
    // Still there and answering.
    EXPECT_EQ(shortPort->ask({0x10, 0xFF, 0x81, 0xF1, 1, 0, 0})[2], 0x81);
    EXPECT_FALSE(rx->in_bootloader());
}

}  // namespace
