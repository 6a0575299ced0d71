// The protocol device adapter over the real devio stack: a simulated keyboard on USB and one
// behind a simulated receiver, adopted by the provider, read and updated through the adapter.
#include "ProviderRig.h"

#include "cDevioDevice.h"

#include "core/CDevio.h"
#include "core/DataRequest.h"

#include "devices/SimHidDevice.h"
#include "devices/SimHidReceiver.h"
#include "quillon/ProductIds.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <optional>

namespace app::test {
namespace {

using platform::sim::SimDfuFaults;
using platform::sim::SimProtocolConfig;
using platform::sim::SimProtocolDevice;

constexpr std::uint16_t kUsbPid = quillon::ids::kKeyboardD.productId;
constexpr std::uint16_t kPairedPid = quillon::ids::kKeyboardA.productId;

enum class Link { Usb, Receiver };

// One keyboard on USB or behind a receiver, and a provider that adopted it.
class KeyboardRig {
public:
    KeyboardRig(Link link, const std::function<void(SimProtocolConfig&)>& configure = {})
        : m_link(link)
    {
        SimProtocolConfig config = platform::sim::sim_keyboard_config();
        config.product_id = link == Link::Usb ? kUsbPid : kPairedPid;
        config.model_ids[0] = config.product_id;
        config.name = link == Link::Usb ? "Usb Board" : "Paired Board";
        config.unit_id = 0x0A0B0C0D;
        if (configure)
            configure(config);
        if (link == Link::Usb) {
            m_usb.emplace(config);
            m_usb->plug();
        } else {
            m_receiver.emplace(quillon::ids::kMiraReceiver[0], 0x1A2B3C4D);
            m_receiver->pair(1, config);
            m_receiver->plug();
        }
        rig.start();
        device = rig.arrival_of(config.product_id);
    }
    ~KeyboardRig()
    {
        // The provider goes first: its devices leave with the facade.
        rig.provider.reset();
        m_usb.reset();
        m_receiver.reset();
    }
    SimProtocolDevice& model() { return m_link == Link::Usb ? m_usb->model() : *m_receiver->paired(1); }
    void unplug()
    {
        if (m_link == Link::Usb)
            m_usb->unplug();
        else
            m_receiver->unplug();
    }

    ProviderRig rig;
    DFU_DEVICE device = 0;

private:
    Link m_link;
    std::optional<platform::sim::SimHidProtocolDevice> m_usb;
    std::optional<platform::sim::SimHidReceiver> m_receiver;
};

class ProtocolAdapter : public ::testing::TestWithParam<Link> {};

TEST_P(ProtocolAdapter, InformationAndFirmwareEntities)
{
    KeyboardRig k(GetParam());
    ASSERT_NE(k.device, 0u);
    const DFU_DEVICE_INFO info = k.rig.info(k.device);
    EXPECT_EQ(info.connectionKind, GetParam() == Link::Usb ? 4u : 3u);
    EXPECT_EQ(info.productId, GetParam() == Link::Usb ? kUsbPid : kPairedPid);
    EXPECT_STREQ(info.name, GetParam() == Link::Usb ? "Usb Board" : "Paired Board");
    EXPECT_STREQ(info.version, "1.2.33");
    EXPECT_EQ(info.online, 1);
    EXPECT_EQ(info.inDfu, 0);
    EXPECT_EQ(info.entityCount, 3u);
    EXPECT_EQ(info.unitId, 0x0A0B0C0Du);

    auto adapter = k.rig.provider->findDevice(k.device);
    ASSERT_TRUE(adapter);
    struct Row {
        int index;
        int result;
        const char* prefix;
        std::uint16_t version;
        std::uint16_t build;
    };
    const Row rows[] = {
        {0, DFU_OK, "APP", 0x0102, 0x0033}, {1, DFU_OK, "BOT", 0x0100, 0x0007}, {2, DFU_OK, "HW ", 0x0001, 0},
        {3, DFU_ERR_NO_ENTRY, "", 0, 0},    {-1, DFU_ERR_NO_ENTRY, "", 0, 0},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE("entry " + std::to_string(row.index));
        DFU_DEVICE_ENTRY entry{};
        EXPECT_EQ(adapter->getEntry(row.index, &entry), row.result);
        EXPECT_STREQ(entry.prefix, row.prefix);
        EXPECT_EQ(entry.version, row.version);
        EXPECT_EQ(entry.build, row.build);
    }
}

INSTANTIATE_TEST_SUITE_P(Links, ProtocolAdapter, ::testing::Values(Link::Usb, Link::Receiver),
                         [](const auto& info) { return info.param == Link::Usb ? "Usb" : "Receiver"; });

TEST(ProtocolAdapterInfo, ANameLongerThanTheFieldIsCutAt80Characters)
{
    KeyboardRig k(Link::Usb, [](SimProtocolConfig& c) { c.name = std::string(120, 'N'); });
    const DFU_DEVICE_INFO info = k.rig.info(k.device);
    EXPECT_EQ(std::strlen(info.name), 80u);
    for (std::size_t i = 80; i < sizeof info.name; ++i)
        EXPECT_EQ(info.name[i], 0) << i;
}

TEST(ProtocolAdapterStart, ResultsBeforeAnyTransfer)
{
    struct Row {
        const char* name;
        std::function<void(SimProtocolConfig&)> configure;
        std::vector<char> image;
        std::vector<char> second;
        bool nullImage;
        int result;
    };
    const auto image = make_image(kUsbPid, 100, 0x0200, 2);
    const Row rows[] = {
        {"no image", {}, {}, {}, true, DFU_ERR_INVALID_PARAM},
        {"empty image", {}, {}, {}, false, DFU_ERR_INVALID_PARAM},
        {"image shorter than one packet", {}, std::vector<char>(15, 'x'), {}, false, DFU_ERR_INVALID_PARAM},
        {"second image shorter than one packet", {}, image, std::vector<char>(3, 'x'), false,
         DFU_ERR_INVALID_PARAM},
        {"battery at its critical level", [](SimProtocolConfig& c) { c.battery_level = c.battery_critical = 10; },
         image, {}, false, DFU_ERR_LOW_BATTERY},
        {"switch that needs a power cycle",
         [](SimProtocolConfig& c) {
             for (auto& f : c.features)
                 if (f.id == 0x00C2)
                     f.id = 0x00C1;
         },
         image, {}, false, DFU_ERR_POWER_CYCLE},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        KeyboardRig k(Link::Usb, row.configure);
        ASSERT_NE(k.device, 0u);
        auto adapter = k.rig.provider->findDevice(k.device);
        const int result =
            row.nullImage ? adapter->startUpdate(nullptr, 100, nullptr, 0, false) : k.rig.start_update(k.device, row.image, row.second);
        EXPECT_EQ(result, row.result);
        // Nothing was started and nothing reached the update feature.
        EXPECT_TRUE(k.rig.statuses(k.device).empty());
        EXPECT_FALSE(k.model().dfu_header());
        EXPECT_EQ(k.model().dfu_next_packet(), 0u);
    }
}

TEST(ProtocolAdapterStart, SwitchIntoTheBootloaderAndTransferInOneCall)
{
    KeyboardRig k(Link::Usb, [](SimProtocolConfig& c) { c.dfu_switch_delay = std::chrono::milliseconds(5); });
    const auto image = make_image(kUsbPid, 1000, 0x1201, 0x0033);
    EXPECT_EQ(k.rig.start_update(k.device, image), DFU_OK);
    ASSERT_TRUE(k.rig.wait_status(k.device, DFU_STATUS_SUCCEEDED));
    EXPECT_EQ(k.rig.statuses(k.device), (std::vector<int>{DFU_STATUS_STARTED, DFU_STATUS_SUCCEEDED}));
    EXPECT_EQ(k.model().dfu_image(), bytes_of(image));
    const auto progress = k.rig.log.progress(k.device);
    ASSERT_FALSE(progress.empty());
    EXPECT_TRUE(std::is_sorted(progress.begin(), progress.end()));
    EXPECT_EQ(progress.back(), 100);
}

// A keyboard that lists no bootloader entity still comes back in its bootloader, whose identity
// differs from the application's: the stale feature table must not hide the update feature.
class PowerCycleSwitch : public ::testing::TestWithParam<bool> {};

TEST_P(PowerCycleSwitch, ResumesAtTheNextConnection)
{
    const bool listsBootloader = GetParam();
    KeyboardRig k(Link::Receiver, [listsBootloader](SimProtocolConfig& c) {
        for (auto& f : c.features)
            if (f.id == 0x00C2)
                f.id = 0x00C1;
        if (!listsBootloader)
            c.firmware.resize(1);
    });
    const auto image = make_image(kPairedPid, 200, 0x1201, 0x0033);
    ASSERT_EQ(k.rig.start_update(k.device, image), DFU_ERR_POWER_CYCLE);
    EXPECT_TRUE(k.rig.statuses(k.device).empty());
    k.model().power_cycle();
    ASSERT_TRUE(k.rig.wait_status(k.device, DFU_STATUS_SUCCEEDED));
    EXPECT_EQ(k.rig.statuses(k.device), (std::vector<int>{DFU_STATUS_STARTED, DFU_STATUS_SUCCEEDED}));
    EXPECT_EQ(k.model().dfu_image(), bytes_of(image));
    // Every connection rebuilt the entity list: exactly the device's entities, none twice.
    auto adapter = k.rig.provider->findDevice(k.device);
    const DFU_DEVICE_INFO info = k.rig.info(k.device);
    DFU_DEVICE_ENTRY entry{};
    EXPECT_EQ(adapter->getEntry(static_cast<int>(info.entityCount) - 1, &entry), DFU_OK);
    EXPECT_EQ(adapter->getEntry(static_cast<int>(info.entityCount), &entry), DFU_ERR_NO_ENTRY);
    // The finished update stays finished: no time-out fails it afterwards (750 ms here).
    EXPECT_FALSE(k.rig.wait_status(k.device, DFU_STATUS_FAILED, std::chrono::milliseconds(1000)));
}

INSTANTIATE_TEST_SUITE_P(Entities, PowerCycleSwitch, ::testing::Bool(),
                         [](const auto& info) { return info.param ? "WithBootloaderEntity" : "ApplicationOnly"; });

// How the device answers during the transfer, and what the caller hears.
TEST(ProtocolAdapterStatus, DeviceAnswersDecideTheOutcome)
{
    struct Row {
        const char* name;
        SimDfuFaults faults;
        int startResult;
        std::vector<int> statuses;
        bool wholeImage;
    };
    auto faults = [](auto set) {
        SimDfuFaults f;
        set(f);
        return f;
    };
    const Row rows[] = {
        {"failure status at packet 3", faults([](SimDfuFaults& f) { f.failAtPacket = 3; }), DFU_OK,
         {DFU_STATUS_STARTED, DFU_STATUS_FAILED}, false},
        {"status 0 at packet 1", faults([](SimDfuFaults& f) { f.failAtPacket = 1, f.failStatus = 0; }), DFU_OK,
         {DFU_STATUS_STARTED, DFU_STATUS_FAILED}, false},
        {"status 7 at packet 2", faults([](SimDfuFaults& f) { f.failAtPacket = 2, f.failStatus = 7; }), DFU_OK,
         {DFU_STATUS_STARTED, DFU_STATUS_FAILED}, false},
        {"start packet refused", faults([](SimDfuFaults& f) { f.failAtPacket = 0; }), DFU_ERR_FAILED,
         {DFU_STATUS_STARTED, DFU_STATUS_FAILED}, false},
        {"second image done while the main image goes",
         faults([](SimDfuFaults& f) { f.failAtPacket = 2, f.failStatus = 6; }), DFU_OK,
         {DFU_STATUS_STARTED, DFU_STATUS_FAILED}, false},
        {"success as 5", faults([](SimDfuFaults& f) { f.successAs5 = true; }), DFU_OK,
         {DFU_STATUS_STARTED, DFU_STATUS_SUCCEEDED}, true},
        {"status 3, then silence", faults([](SimDfuFaults& f) { f.busyThenSilentAt = 4; }), DFU_OK,
         {DFU_STATUS_STARTED, DFU_STATUS_FAILED}, false},
        {"report too short for a status", faults([](SimDfuFaults& f) { f.shortReportAt = 2; }), DFU_OK,
         {DFU_STATUS_STARTED, DFU_STATUS_SUCCEEDED}, true},
        {"packet asked for again", faults([](SimDfuFaults& f) { f.resendAt = 5; }), DFU_OK,
         {DFU_STATUS_STARTED, DFU_STATUS_SUCCEEDED}, true},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        KeyboardRig k(Link::Usb, [](SimProtocolConfig& c) {
            // Already in its bootloader: the transfer starts at once.
            c.features = c.bootloader_features;
        });
        ASSERT_NE(k.device, 0u);
        k.model().set_dfu_faults(row.faults);
        const auto image = make_image(kUsbPid, 150, 0x1201, 0x0033);
        EXPECT_EQ(k.rig.start_update(k.device, image), row.startResult);
        const int last = row.statuses.back();
        ASSERT_TRUE(k.rig.wait_status(k.device, last));
        EXPECT_EQ(k.rig.statuses(k.device), row.statuses);
        if (row.wholeImage) {
            EXPECT_EQ(k.model().dfu_image(), bytes_of(image));
        }
        for (int p : k.rig.log.progress(k.device))
            EXPECT_LE(p, 100);
    }
}

// A device that names a packet it already has: asking once is a resend; asking for ever ends
// the update as failed, with nothing left running.
TEST(ProtocolAdapterStatus, ADeviceThatAsksAgainForWhatItHas)
{
    struct Row {
        const char* name;
        SimDfuFaults faults;
        bool statusByNotification;
        int outcome;
    };
    auto faults = [](auto set) {
        SimDfuFaults f;
        set(f);
        return f;
    };
    const Row rows[] = {
        {"every start reply names the start packet", faults([](SimDfuFaults& f) { f.startAsksForPacket0 = true; }),
         false, DFU_STATUS_SUCCEEDED},
        {"every answer names the start packet", faults([](SimDfuFaults& f) { f.stuckAt = 0; }), false,
         DFU_STATUS_FAILED},
        {"every answer from packet 3 on names packet 3", faults([](SimDfuFaults& f) { f.stuckAt = 3; }), false,
         DFU_STATUS_FAILED},
        {"the same, in notifications", faults([](SimDfuFaults& f) { f.stuckAt = 3; }), true, DFU_STATUS_FAILED},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        KeyboardRig k(Link::Usb, [&](SimProtocolConfig& c) {
            c.features = c.bootloader_features;
            c.dfu_status_by_notification = row.statusByNotification;
        });
        ASSERT_NE(k.device, 0u);
        k.model().set_dfu_faults(row.faults);
        const auto image = make_image(kUsbPid, 150, 0x1201, 0x0033);
        EXPECT_EQ(k.rig.start_update(k.device, image), DFU_OK);
        ASSERT_TRUE(k.rig.wait_status(k.device, row.outcome));
        EXPECT_EQ(k.rig.statuses(k.device), (std::vector<int>{DFU_STATUS_STARTED, row.outcome}));
        if (row.outcome == DFU_STATUS_SUCCEEDED) {
            EXPECT_EQ(k.model().dfu_image(), bytes_of(image));
            continue;
        }
        const std::uint64_t sent = k.model().dfu_packets_received();
        EXPECT_LE(sent, 3u + 1u + DfuPacing::kMaxRepeats);
        // Past the time-out (750 ms here) nothing more: no packet, no second failure.
        auto failed = [&](const DfuEvent& e) {
            return e.device == k.device && e.event == DFU_EVENT_STATUS && e.parameter == DFU_STATUS_FAILED;
        };
        EXPECT_FALSE(k.rig.log.wait_for_count(failed, 2, std::chrono::milliseconds(1000)));
        EXPECT_EQ(k.model().dfu_packets_received(), sent);
        // Nor does the adapter still listen to the device's status reports.
        for (const auto& device : devio::CDevio::instance().getDevices()) {
            if (device->getProductId() != kUsbPid)
                continue;
            auto reports = std::dynamic_pointer_cast<devio::Producer<devio::IFeature00d0DFU::Report>>(
                devio::getFeatureSync<devio::IFeature00d0DFU>(device));
            ASSERT_TRUE(reports);
            EXPECT_EQ(reports->subscriber_count(), 0u);
        }
    }
}

TEST(ProtocolAdapterStatus, ABusyAnswerLeavesTheTimerRunningUntilItFails)
{
    KeyboardRig k(Link::Usb, [](SimProtocolConfig& c) { c.features = c.bootloader_features; });
    SimDfuFaults f;
    f.busyThenSilentAt = 1;
    k.model().set_dfu_faults(f);
    const auto started = std::chrono::steady_clock::now();
    ASSERT_EQ(k.rig.start_update(k.device, make_image(kUsbPid, 64, 1, 1)), DFU_OK);
    ASSERT_TRUE(k.rig.wait_status(k.device, DFU_STATUS_FAILED));
    // 15000 ms scaled down twentyfold.
    EXPECT_GE(std::chrono::steady_clock::now() - started, std::chrono::milliseconds(700));
}

TEST(ProtocolAdapterTransfer, TheDeviceReceivesTheImageByteForByte)
{
    struct Row {
        const char* name;
        std::vector<char> image;
        std::uint32_t rawPackets;   // for an image without our header
    };
    std::vector<char> raw(20);
    for (std::size_t i = 0; i < raw.size(); ++i)
        raw[i] = static_cast<char>(0xA0 + i);
    const Row rows[] = {
        {"20 bytes, tail padded", raw, 2},
        {"64 KiB", make_image(kUsbPid, 64 * 1024 - 16, 0x1201, 0x0033), 0},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        KeyboardRig k(Link::Usb, [&](SimProtocolConfig& c) {
            c.features = c.bootloader_features;
            if (row.rawPackets)
                c.dfu_packet_count = row.rawPackets;
        });
        ASSERT_EQ(k.rig.start_update(k.device, row.image), DFU_OK);
        ASSERT_TRUE(k.rig.wait_status(k.device, DFU_STATUS_SUCCEEDED));
        auto expected = bytes_of(row.image);
        expected.resize((expected.size() + 15) / 16 * 16, 0);
        auto received = k.model().dfu_image();
        received.resize(expected.size(), 0xEE);
        EXPECT_EQ(received, expected);
        EXPECT_EQ(k.rig.log.progress(k.device).back(), 100);
    }
}

TEST(ProtocolAdapterTransfer, RemovalMidTransferReportsRemovalThenFailure)
{
    // The device goes quiet after packet 3, and leaves while the adapter waits for it.
    KeyboardRig k(Link::Usb, [](SimProtocolConfig& c) { c.features = c.bootloader_features; });
    SimDfuFaults f;
    f.busyThenSilentAt = 3;
    k.model().set_dfu_faults(f);
    ASSERT_EQ(k.rig.start_update(k.device, make_image(kUsbPid, 1024, 1, 1)), DFU_OK);
    ASSERT_TRUE(k.rig.log.wait_for_count(
        [&](const DfuEvent& e) { return e.device == k.device && e.event == DFU_EVENT_PROGRESS; }, 4));
    k.unplug();
    ASSERT_TRUE(k.rig.wait_status(k.device, DFU_STATUS_FAILED));
    const auto texts = k.rig.log.of(k.device);
    const auto removal = std::find(texts.begin(), texts.end(), "removal 0");
    const auto failure = std::find(texts.begin(), texts.end(), "status 2");
    ASSERT_NE(removal, texts.end());
    EXPECT_LT(removal, failure);
    EXPECT_EQ(std::count(texts.begin(), texts.end(), "status 2"), 1);
}

TEST(ProtocolAdapterTransfer, TwoImagesBehindTheReceiverHandOverAtTheRadioStack)
{
    KeyboardRig k(Link::Receiver, [](SimProtocolConfig& c) { c.features = c.bootloader_features; });
    // 1024 bytes of radio stack, then 3072 of application: the hand-over is at 25 percent.
    const auto radio = make_image(kPairedPid, 1024 - 16, 0x0301, 0x0004, true, 3);
    const auto main = make_image(kPairedPid, 3072 - 16, 0x1201, 0x0033, false, 9);
    ASSERT_EQ(k.rig.start_update(k.device, main, radio), DFU_OK);
    ASSERT_TRUE(k.rig.wait_status(k.device, DFU_STATUS_SUCCEEDED));
    EXPECT_EQ(k.rig.statuses(k.device), (std::vector<int>{DFU_STATUS_STARTED, DFU_STATUS_SUCCEEDED}));
    const auto progress = k.rig.log.progress(k.device);
    EXPECT_NE(std::find(progress.begin(), progress.end(), 25), progress.end());
    EXPECT_TRUE(std::is_sorted(progress.begin(), progress.end()));
    EXPECT_EQ(progress.back(), 100);
    EXPECT_EQ(k.model().dfu_completed(), 2u);
    EXPECT_EQ(k.model().dfu_image(), bytes_of(main));
    // Back in its application, the adapter reads the version the image installed (at the
    // connection, or when the device then finds its firmware changed).
    auto connected = [&](const DfuEvent& e) { return e.device == k.device && e.event == DFU_EVENT_CONNECTED; };
    bool updated = false;
    for (std::size_t n = 1; n <= 6 && !updated && k.rig.log.wait_for_count(connected, n); ++n)
        updated = std::string(k.rig.info(k.device).version) == "12.1.33";
    EXPECT_TRUE(updated);
}

} // namespace
} // namespace app::test
