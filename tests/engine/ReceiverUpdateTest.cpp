// Receiver updates end to end through QV_StartDFU: into the bootloader, the image written,
// back with the new version; faults end with a clear failure and no hang.
#include "DfuManager.h"
#include "EngineTestSupport.h"
#include "Enumerator.h"
#include "ImageFiles.h"

#include "devices/SimHidReceiver.h"

#include <gtest/gtest.h>

using namespace enginetest;
using namespace platform::sim;

namespace {

constexpr char kImagePath[] = "C:\\Temp\\receiver.hex";
constexpr char kSignaturePath[] = "C:\\Temp\\receiver.pkcs1";

class ReceiverUpdateTest : public ::testing::Test {
protected:
    void SetUp() override { fresh_machine(); }

    std::unique_ptr<SimHidReceiver> make_receiver(std::uint16_t pid, bool inBootloader = false)
    {
        auto rx = std::make_unique<SimHidReceiver>(pid, 0xABCD0000u | pid);
        rx->receiver().set_latency(std::chrono::milliseconds(2));
        rx->set_switch_delays(std::chrono::milliseconds(20), std::chrono::milliseconds(20));
        if (inBootloader)
            rx->start_in_bootloader();
        rx->plug();
        return rx;
    }

    std::uint64_t first_of_type(std::uint32_t devType)
    {
        for (std::uint64_t h : log.arrivals())
            if (info_of(h).DevType == devType)
                return h;
        return 0;
    }

    int start(std::uint64_t handle, bool withSignature)
    {
        const std::u16string image = wide(kImagePath), sig = wide(kSignaturePath);
        return QV_StartDFU(static_cast<std::int64_t>(handle), 1, 0, image.c_str(), 0,
                           withSignature ? sig.c_str() : nullptr);
    }

    // The previous operation's thread clears its busy flag after its last event: a start right
    // after that event may still be refused with 14. Asks again as events arrive, up to a deadline.
    int start_when_idle(std::uint64_t handle, bool withSignature)
    {
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
        int r = start(handle, withSignature);
        while (r == QV_DFU_IN_PROGRESS && std::chrono::steady_clock::now() < deadline) {
            const std::size_t seen = log.events().size();
            log.wait([&](const std::vector<Event>& all) { return all.size() > seen; }, std::chrono::milliseconds(5));
            r = start(handle, withSignature);
        }
        return r;
    }

    // The final status of the operation on `handle` (events 6 after the first "in progress").
    int final_status(std::uint64_t handle) { return log.final_dfu_status(handle); }

    std::vector<std::uint64_t> progress(std::uint64_t handle) { return log.values(QV_EVENT_DFU_PROGRESS, handle); }

    EventLog log;
};

struct FamilyCase {
    const char* name;
    std::uint16_t receiver;
    bool signature;
};

TEST_F(ReceiverUpdateTest, EachFamilyUpdatesAndComesBackWithItsNewVersion)
{
    const FamilyCase cases[] = {
        {"plain", 0xC510, false}, {"plain signed", 0xC510, true},   {"buffered Wren", 0xC520, false},
        {"buffered Wren signed", 0xC520, true}, {"FenMarl", 0xC530, false}, {"FenMarl signed", 0xC530, true},
    };
    // One engine per process: each row gets its own receiver, one after the other.
    EngineHost host(log);
    ASSERT_TRUE(log.wait_count(QV_EVENT_ENUMERATION_COMPLETE, 1));
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const std::size_t before = log.arrivals().size();
        auto rx = make_receiver(c.receiver);
        ASSERT_TRUE(log.wait_count(QV_EVENT_DEVICE_ARRIVAL, before + 1));
        const std::uint64_t receiver = log.arrivals().back();
        const QV_DEVICE_INFO old = info_of(receiver);
        ASSERT_EQ(old.DevType, 0u);

        const auto image = make_image(0x600, static_cast<std::uint8_t>(c.receiver));
        ASSERT_TRUE(write_file(kImagePath, hex_text(image)));
        ASSERT_TRUE(write_file(kSignaturePath, signature_bytes(image)));
        ASSERT_EQ(start(receiver, c.signature), QV_SUCCESS);
        EXPECT_EQ(final_status(receiver), QV_DFU_SUCCEEDED);
        EXPECT_TRUE(log.wait_for(QV_EVENT_DEVICE_REMOVAL, receiver, 0)) << "the old receiver ends with removal 0";
        ASSERT_TRUE(rx->wait_for_mode(false, std::chrono::seconds(10)));
        EXPECT_EQ(rx->bootloader()->model().flash(0, image.size()), image);

        const auto steps = progress(receiver);
        ASSERT_FALSE(steps.empty());
        for (std::size_t i = 1; i < steps.size(); ++i)
            EXPECT_GE(steps[i], steps[i - 1]);
        EXPECT_LE(steps.back(), 100u);

        // The receiver returns as a new device with its new version.
        ASSERT_TRUE(log.wait([&](const std::vector<Event>& all) {
            for (const auto& e : all)
                if (e.event == QV_EVENT_DEVICE_ARRIVAL && e.handle != receiver && info_of(e.handle).DevType == 0 &&
                    info_of(e.handle).ModelID == old.ModelID)
                    return true;
            return false;
        }));
        std::uint64_t back = 0;
        for (std::uint64_t h : log.arrivals())
            if (h != receiver && info_of(h).ModelID == old.ModelID && info_of(h).DevType == 0)
                back = h;
        EXPECT_NE(text(info_of(back).FW), text(old.FW));
        const auto fw = rx->firmware().updated;
        char expected[32];
        std::snprintf(expected, sizeof expected, "RQR_%03x_%03x_%05x", fw.number, fw.release, fw.build);
        EXPECT_EQ(text(info_of(back).FW), expected);
        rx->unplug();
        ASSERT_TRUE(log.wait_for(QV_EVENT_DEVICE_REMOVAL, back, 0));
    }
}

TEST_F(ReceiverUpdateTest, CorruptImageNeverTouchesTheReceiver)
{
    struct Row {
        const char* name;
        std::string content;
    };
    std::string badSum = hex_text(make_image(64));
    badSum[12] = badSum[12] == 'A' ? 'B' : 'A';
    const Row rows[] = {
        {"wrong checksum", badSum},
        {"truncated record", ":10000000AABB\r\n"},
        {"not hexadecimal", ":10000000ZZ000000000000000000000000000000\r\n"},
        {"empty file", ""},
        {"no block at address 0", hex_text(make_image(32), 16, 0x100)},
    };
    auto rx = make_receiver(0xC510);
    EngineHost host(log);
    ASSERT_TRUE(log.wait_count(QV_EVENT_ENUMERATION_COMPLETE, 1));
    const std::uint64_t receiver = first_of_type(0);
    ASSERT_NE(receiver, 0u);
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        const std::size_t before = log.events().size();
        const std::size_t statuses = log.count(QV_EVENT_DFU_STATUS_CHANGED);
        ASSERT_TRUE(write_file(kImagePath, row.content));
        ASSERT_EQ(start_when_idle(receiver, false), QV_SUCCESS);
        ASSERT_TRUE(log.wait_count(QV_EVENT_DFU_STATUS_CHANGED, statuses + 2));
        const auto events = log.events();
        std::vector<Event> mine(events.begin() + static_cast<std::ptrdiff_t>(before), events.end());
        ASSERT_EQ(mine.size(), 2u);
        EXPECT_EQ(mine[1].value, static_cast<std::uint64_t>(QV_DFU_FAILED));
        EXPECT_EQ(info_of(receiver).DFUStatus, QV_DFU_FAILED) << "the receiver is still there";
        EXPECT_FALSE(rx->in_bootloader());
        EXPECT_EQ(rx->receiver().register_writes(0xF0), 0) << "no restart into the bootloader was asked";
    }
}

TEST_F(ReceiverUpdateTest, RecoveryFromTheBootloader)
{
    auto rx = make_receiver(0xC520, true);
    EngineHost host(log);
    ASSERT_TRUE(log.wait_count(QV_EVENT_ENUMERATION_COMPLETE, 1));
    const std::uint64_t bootloader = first_of_type(QV_DEVTYPE_BOOTLOADER);
    ASSERT_NE(bootloader, 0u);
    const QV_DEVICE_INFO info = info_of(bootloader);
    EXPECT_EQ(info.RadioType, 4);
    EXPECT_EQ(info.ModelID, 0x7E51AA20u);
    EXPECT_EQ(text(info.Name).find("Ravelin receiver ["), 0u);
    EXPECT_EQ(text(info.BL).substr(0, 3), "BL_");

    const auto image = make_image(0x400);
    ASSERT_TRUE(write_file(kImagePath, hex_text(image)));
    ASSERT_EQ(start(bootloader, false), QV_SUCCESS);
    EXPECT_EQ(final_status(bootloader), QV_DFU_SUCCEEDED);
    EXPECT_TRUE(rx->wait_for_mode(false, std::chrono::seconds(10)));
    EXPECT_TRUE(log.wait([&](const std::vector<Event>& all) {
        for (const auto& e : all)
            if (e.event == QV_EVENT_DEVICE_ARRIVAL && info_of(e.handle).DevType == 0)
                return true;
        return false;
    }));
}

struct FaultCase {
    const char* name;
    SimBootloader::FaultAction action;
    std::uint8_t command;
    unsigned at;
};

TEST_F(ReceiverUpdateTest, BootloaderFaultsEndInFailure)
{
    const FaultCase cases[] = {
        {"unplugged mid-erase", SimBootloader::FaultAction::Unplug, 0x30, 3},
        {"unplugged mid-write", SimBootloader::FaultAction::Unplug, 0x20, 5},
        {"no reply to a write", SimBootloader::FaultAction::NoReply, 0x20, 4},
        {"wrong echo to a write", SimBootloader::FaultAction::WrongEcho, 0x20, 2},
        {"no reply to the final write", SimBootloader::FaultAction::NoReply, 0x20, 0x600 / 16 + 1},
    };
    EngineHost host(log);
    ASSERT_TRUE(log.wait_count(QV_EVENT_ENUMERATION_COMPLETE, 1));
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const std::size_t before = log.arrivals().size();
        auto rx = make_receiver(0xC510);
        rx->bootloader()->model().set_fault({c.action, c.command, c.at});
        // Replies after 1 ms: an unplug after a reply lands before the next command is answered.
        rx->bootloader()->model().set_latency(std::chrono::milliseconds(1));
        ASSERT_TRUE(log.wait_count(QV_EVENT_DEVICE_ARRIVAL, before + 1));
        const std::uint64_t receiver = log.arrivals().back();
        ASSERT_TRUE(write_file(kImagePath, hex_text(make_image(0x600))));
        ASSERT_EQ(start(receiver, false), QV_SUCCESS);
        EXPECT_EQ(final_status(receiver), QV_DFU_FAILED);
        EXPECT_FALSE(rx->bootloader()->model().accepted());
        rx->unplug();
        // Whatever the receiver left behind (its bootloader) goes with it.
        ASSERT_TRUE(log.wait([&](const std::vector<Event>& all) {
            QV_DEVICE_INFO i;
            for (const auto& e : all)
                if (e.event == QV_EVENT_DEVICE_ARRIVAL && QV_GetDeviceInfo(static_cast<std::int64_t>(e.handle), &i) == 0)
                    return false;
            return true;
        }));
    }
}

TEST_F(ReceiverUpdateTest, WrongSignatureFailsAndLeavesTheBootloader)
{
    auto rx = make_receiver(0xC520);
    rx->bootloader()->model().set_reject_signature(true);
    EngineHost host(log);
    ASSERT_TRUE(log.wait_count(QV_EVENT_ENUMERATION_COMPLETE, 1));
    const std::uint64_t receiver = first_of_type(0);
    const auto image = make_image(0x300);
    ASSERT_TRUE(write_file(kImagePath, hex_text(image)));
    ASSERT_TRUE(write_file(kSignaturePath, signature_bytes(image)));
    ASSERT_EQ(start(receiver, true), QV_SUCCESS);
    EXPECT_EQ(final_status(receiver), QV_DFU_FAILED);
    // Restarted without an accepted image, the receiver stays in its bootloader.
    EXPECT_TRUE(rx->wait_for_mode(true, std::chrono::seconds(10)));
}

TEST_F(ReceiverUpdateTest, NoBootloaderFailsAfterTheEnumerationWait)
{
    auto rx = std::make_unique<SimHidReceiver>(0xC510, 1);
    SimReceiverFirmware fw = default_receiver_firmware(0xC510);
    fw.family = SimBootloaderFamily::None;
    rx->set_firmware(fw, sim_bootloader_config(SimBootloaderFamily::None));
    rx->receiver().set_latency(std::chrono::milliseconds(2));
    rx->plug();
    devio::Timing::setScale(1, 200);
    EngineHost host(log);
    ASSERT_TRUE(log.wait_count(QV_EVENT_ENUMERATION_COMPLETE, 1));
    const std::uint64_t receiver = first_of_type(0);
    ASSERT_TRUE(write_file(kImagePath, hex_text(make_image(64))));
    ASSERT_EQ(start(receiver, false), QV_SUCCESS);
    EXPECT_EQ(final_status(receiver), QV_DFU_FAILED);
}

TEST_F(ReceiverUpdateTest, StartArguments)
{
    auto rx = make_receiver(0xC510);
    EngineHost host(log);
    ASSERT_TRUE(log.wait_count(QV_EVENT_ENUMERATION_COMPLETE, 1));
    const auto receiver = static_cast<std::int64_t>(first_of_type(0));
    EXPECT_EQ(QV_StartDFU(receiver, 1, 0, nullptr, 0, nullptr), QV_NOT_SUPPORTED);
    EXPECT_EQ(QV_StartDFU(0x1234, 1, 0, QUILLON_W("x"), 0, nullptr), QV_INVALID_HANDLE);
    const std::u16string longPath(300, u'a');
    EXPECT_EQ(QV_StartDFU(receiver, 1, 0, longPath.c_str(), 0, nullptr), QV_INVALID_PARAM);
    EXPECT_EQ(QV_StartDFU(receiver, 1, 0, QUILLON_W("C:\\x.hex"), 0, longPath.c_str()), QV_INVALID_PARAM);

    // While one update runs, another is refused.
    rx->set_switch_delays(std::chrono::milliseconds(300), std::chrono::milliseconds(20));
    ASSERT_TRUE(write_file(kImagePath, hex_text(make_image(0x200))));
    ASSERT_EQ(start(static_cast<std::uint64_t>(receiver), false), QV_SUCCESS);
    EXPECT_EQ(start(static_cast<std::uint64_t>(receiver), false), QV_DFU_IN_PROGRESS);
    EXPECT_EQ(final_status(static_cast<std::uint64_t>(receiver)), QV_DFU_SUCCEEDED);
}

TEST_F(ReceiverUpdateTest, BootloaderLeavingAndReturningIsFollowed)
{
    auto rx = make_receiver(0xC510, true);
    EngineHost host(log);
    ASSERT_TRUE(log.wait_count(QV_EVENT_ENUMERATION_COMPLETE, 1));
    const std::uint64_t first = first_of_type(QV_DEVTYPE_BOOTLOADER);
    ASSERT_NE(first, 0u);
    rx->unplug();
    ASSERT_TRUE(log.wait_for(QV_EVENT_DEVICE_REMOVAL, first, QV_DEVTYPE_BOOTLOADER));
    rx->plug();
    ASSERT_TRUE(log.wait_count(QV_EVENT_DEVICE_ARRIVAL, 2)) << "its return is not refused as a duplicate";
    EXPECT_EQ(info_of(log.arrivals().back()).DevType, static_cast<std::uint32_t>(QV_DEVTYPE_BOOTLOADER));
}

// Erasing ends whatever window and page size the bootloader reports.
TEST_F(ReceiverUpdateTest, EraseEndsForAnyWindow)
{
    struct Case {
        const char* name;
        std::uint16_t windowEnd;
        std::uint16_t pageSize;
        int status;
        unsigned erases;
    };
    const Case cases[] = {
        {"window up to the last address", 0xFFFF, 0x200, QV_DFU_SUCCEEDED, 0x10000u / 0x200u},
        {"page size 0", 0xDFFF, 0, QV_DFU_FAILED, 0},
    };
    EngineHost host(log);
    ASSERT_TRUE(log.wait_count(QV_EVENT_ENUMERATION_COMPLETE, 1));
    std::uint32_t serial = 3;
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        auto rx = std::make_unique<SimHidReceiver>(0xC510, serial++);
        SimBootloaderConfig config = sim_bootloader_config(SimBootloaderFamily::PureHid, 0xAA10);
        config.windowEnd = c.windowEnd;
        config.pageSize = c.pageSize;
        rx->set_firmware(default_receiver_firmware(0xC510), config);
        rx->receiver().set_latency(std::chrono::milliseconds(2));
        rx->set_switch_delays(std::chrono::milliseconds(20), std::chrono::milliseconds(20));
        const std::size_t before = log.arrivals().size();
        rx->plug();
        ASSERT_TRUE(log.wait_count(QV_EVENT_DEVICE_ARRIVAL, before + 1));
        const std::uint64_t receiver = log.arrivals().back();
        ASSERT_TRUE(write_file(kImagePath, hex_text(make_image(0x100))));
        ASSERT_EQ(start_when_idle(receiver, false), QV_SUCCESS);
        EXPECT_EQ(final_status(receiver), c.status);
        EXPECT_EQ(rx->bootloader()->model().command_count(0x30), c.erases);
        EXPECT_TRUE(rx->wait_for_mode(c.status != QV_DFU_SUCCEEDED, std::chrono::seconds(10)));
        rx->unplug();
        ASSERT_TRUE(log.wait([&](const std::vector<Event>& all) {
            QV_DEVICE_INFO i;
            for (const auto& e : all)
                if (e.event == QV_EVENT_DEVICE_ARRIVAL && QV_GetDeviceInfo(static_cast<std::int64_t>(e.handle), &i) == 0)
                    return false;
            return true;
        }));
    }
}

TEST_F(ReceiverUpdateTest, ShutdownDuringAnUpdate)
{
    auto rx = make_receiver(0xC510);
    rx->bootloader()->model().set_latency(std::chrono::milliseconds(1));
    auto host = std::make_unique<EngineHost>(log);
    ASSERT_TRUE(log.wait_count(QV_EVENT_ENUMERATION_COMPLETE, 1));
    const std::uint64_t receiver = first_of_type(0);
    ASSERT_TRUE(write_file(kImagePath, hex_text(make_image(0x2000))));
    ASSERT_EQ(start(receiver, false), QV_SUCCESS);
    ASSERT_TRUE(log.wait_for(QV_EVENT_DFU_MILESTONE, receiver, 1)) << [&] {
        std::string all;
        for (const auto& e : log.events())
            all += std::to_string(e.event) + ":" + std::to_string(e.value) + " ";
        return all;
    }();
    // The operation ends, every device goes, nothing is delivered after.
    host.reset();
    const std::size_t after = log.events().size();
    rx->unplug();
    EXPECT_FALSE(log.wait_count(QV_EVENT_DEVICE_REMOVAL, log.count(QV_EVENT_DEVICE_REMOVAL) + 1,
                                std::chrono::milliseconds(200)));
    EXPECT_EQ(log.events().size(), after);
}

}  // namespace

namespace {

// A bootloader that arrived while an earlier update still expected one, after that update had
// stopped waiting, leaves its arrival signalled: the next update must wait for its own.
TEST_F(ReceiverUpdateTest, LateBootloaderOfAnEarlierUpdateIsNotTaken)
{
    EngineHost host(log);
    ASSERT_TRUE(log.wait_count(QV_EVENT_ENUMERATION_COMPLETE, 1));
    // The marker stays set: the next update sets it anyway.
    qv::Enumerator::instance().bootloaderExpected.store(0x7E51C520u);
    auto late = make_receiver(0xC520, true);
    ASSERT_TRUE(log.wait_count(QV_EVENT_DEVICE_ARRIVAL, 1));
    late->unplug();
    ASSERT_TRUE(log.wait_count(QV_EVENT_DEVICE_REMOVAL, 1));

    auto rx = make_receiver(0xC510);
    ASSERT_TRUE(log.wait_count(QV_EVENT_DEVICE_ARRIVAL, 2));
    const std::uint64_t receiver = log.arrivals().back();
    ASSERT_TRUE(write_file(kImagePath, hex_text(make_image(0x200))));
    ASSERT_EQ(start(receiver, false), QV_SUCCESS);
    EXPECT_EQ(final_status(receiver), QV_DFU_SUCCEEDED);
    EXPECT_TRUE(rx->bootloader()->model().accepted());
}

}  // namespace

namespace {

// The update of whatever the protocol identifies, with no newer firmware in the folder: "no
// firmware update", not a failed update, and the bootloader is left as it was.
TEST_F(ReceiverUpdateTest, IdentifiedDeviceWithoutNewerFirmwareHasNoUpdate)
{
    auto rx = make_receiver(0xC510, true);
    EngineHost host(log);
    ASSERT_TRUE(log.wait_count(QV_EVENT_ENUMERATION_COMPLETE, 1));
    const std::uint64_t bootloader = first_of_type(QV_DEVTYPE_BOOTLOADER);
    ASSERT_NE(bootloader, 0u);
    ASSERT_EQ(qv::DfuManager::instance().start_operation(bootloader, 2, 0, nullptr, nullptr), QV_SUCCESS);
    EXPECT_EQ(final_status(bootloader), QV_DFU_NO_FW_UPDATE);
    EXPECT_EQ(rx->bootloader()->model().command_count(0x30), 0u) << "nothing erased";
    EXPECT_EQ(log.count(QV_EVENT_DEVICE_REMOVAL), 0u);
}

}  // namespace

namespace {

// Recovery through a receiver that finds no device in its bootloader fails and leaves the
// receiver, still plugged, in the table.
TEST_F(ReceiverUpdateTest, RecoveryWithoutADeviceKeepsTheReceiver)
{
    auto rx = make_receiver(0xC510);
    EngineHost host(log);
    ASSERT_TRUE(log.wait_count(QV_EVENT_ENUMERATION_COMPLETE, 1));
    const std::uint64_t receiver = first_of_type(0);
    ASSERT_NE(receiver, 0u);
    qv::DfuManager& manager = qv::DfuManager::instance();
    ASSERT_EQ(manager.start_operation(receiver, 4, 0, nullptr, nullptr), QV_SUCCESS);
    EXPECT_EQ(final_status(receiver), QV_DFU_FAILED);
    // The table is touched, if at all, before the operation lets go of its busy flag.
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
    while (manager.busy() && std::chrono::steady_clock::now() < deadline)
        log.wait([](const std::vector<Event>&) { return false; }, std::chrono::milliseconds(5));
    ASSERT_FALSE(manager.busy());
    QV_DEVICE_INFO info{};
    EXPECT_EQ(QV_GetDeviceInfo(static_cast<std::int64_t>(receiver), &info), QV_SUCCESS);
    EXPECT_EQ(info.DFUStatus, QV_DFU_FAILED);
    EXPECT_EQ(log.count(QV_EVENT_DEVICE_REMOVAL), 0u);
}

}  // namespace
