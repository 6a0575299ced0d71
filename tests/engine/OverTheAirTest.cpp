// Over-the-air updates of devices paired behind a receiver, end to end through QV_StartDFU.
#include "DfuManager.h"
#include "EngineTestSupport.h"
#include "ImageFiles.h"

#include "devices/SimHidReceiver.h"
#include "devices/SimOta.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <sim/Scenario.h>

using namespace enginetest;
using namespace platform::sim;

namespace {

constexpr char kImagePath[] = "C:\\Temp\\device.bin";

class OverTheAirTest : public ::testing::Test {
protected:
    void SetUp() override { fresh_machine(); }

    // One receiver with one over-the-air device in slot 1; `attributes` go on the <paired> element.
    void start_engine(const std::string& attributes, const std::function<void(SimHidReceiver&)>& prepare = nullptr)
    {
        scenario = std::make_unique<Scenario>(Scenario::from_text(
            "<scenario><device kind=\"receiver\" name=\"rx\" product=\"0xC530\" latency-us=\"2000\">"
            "<paired slot=\"1\" kind=\"keyboard\" name=\"OTA Keyboard\" ota=\"true\" " +
            attributes + "/></device></scenario>"));
        if (prepare)
            prepare(*std::static_pointer_cast<SimHidReceiver>(scenario->device("rx")->model));
        scenario->plug();
        host = std::make_unique<EngineHost>(log);
        ASSERT_TRUE(log.wait_count(QV_EVENT_ENUMERATION_COMPLETE, 1));
        device = wait_paired_device(log);
        ASSERT_NE(device, 0u);
    }

    SimOta& ota()
    {
        auto rx = std::static_pointer_cast<SimHidReceiver>(scenario->device("rx")->model);
        return rx->paired(1)->ota();
    }

    int update(const std::vector<std::uint8_t>& image)
    {
        EXPECT_TRUE(write_file(kImagePath, bytes_text(image)));
        const std::u16string path = wide(kImagePath);
        const std::size_t from = log.events().size();
        // The previous operation's thread clears busy after its last event: ask again as events come.
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
        int started = QV_StartDFU(static_cast<std::int64_t>(device), 1, 0, path.c_str(), 0, nullptr);
        while (started == QV_DFU_IN_PROGRESS && std::chrono::steady_clock::now() < deadline) {
            const std::size_t seen = log.events().size();
            log.wait([&](const std::vector<Event>& all) { return all.size() > seen; }, std::chrono::milliseconds(5));
            started = QV_StartDFU(static_cast<std::int64_t>(device), 1, 0, path.c_str(), 0, nullptr);
        }
        EXPECT_EQ(started, QV_SUCCESS);
        int status = 0;
        log.wait([&](const std::vector<Event>& all) {
            bool running = false;
            for (std::size_t i = from; i < all.size(); ++i)
                if (const Event& e = all[i]; e.handle == device && e.event == QV_EVENT_DFU_STATUS_CHANGED) {
                    if (e.value == QV_DFU_IN_PROGRESS_STATUS)
                        running = true;
                    else if (running)
                        status = static_cast<int>(e.value);
                }
            return status != 0;
        });
        return status;
    }

    std::vector<std::uint64_t> values(std::uint32_t event) { return log.values(event, device); }

    EventLog log;
    std::unique_ptr<Scenario> scenario;
    std::unique_ptr<EngineHost> host;
    std::uint64_t device = 0;
};

std::vector<std::uint8_t> padded(std::vector<std::uint8_t> image)
{
    while (image.size() % 15)
        image.push_back(0xFF);
    return image;
}

struct Row {
    const char* name;
    const char* attributes;
    int status;
};

void PrintTo(const Row& row, std::ostream* os)
{
    *os << row.name;
}

class OverTheAirRows : public OverTheAirTest, public ::testing::WithParamInterface<Row> {};

TEST_P(OverTheAirRows, Update)
{
    const Row& row = GetParam();
    start_engine(row.attributes);
    const QV_DEVICE_INFO before = info_of(device);
    EXPECT_EQ(text(before.Name), "OTA Keyboard");
    const auto image = make_image(31 * 15 + 7);
    EXPECT_EQ(update(image), row.status);
    if (row.status == QV_DFU_SUCCEEDED) {
        EXPECT_EQ(ota().image(), padded(image));
        const auto milestones = values(QV_EVENT_DFU_MILESTONE);
        ASSERT_FALSE(milestones.empty());
        EXPECT_EQ(milestones.front(), 0u);
        EXPECT_EQ(milestones.back(), 4u);
    }
    // The device stays in the table and is no longer held by the update.
    EXPECT_NE(info_of(device).DFUStatus, QV_DFU_IN_PROGRESS_STATUS);
}

INSTANTIATE_TEST_SUITE_P(
    Devices, OverTheAirRows,
    ::testing::Values(Row{"protocol20", "protocol=\"2.0\"", QV_DFU_SUCCEEDED},
                      Row{"protocol10", "protocol=\"1.0\"", QV_DFU_SUCCEEDED},
                      Row{"linkLossRecovers", "ota-fault=\"link-loss\" ota-fault-at=\"4\"", QV_DFU_SUCCEEDED},
                      Row{"restartRequested", "ota-fault=\"restart\" ota-fault-at=\"5\"", QV_DFU_SUCCEEDED},
                      Row{"errorStatus", "ota-fault=\"error\" ota-fault-at=\"3\"", QV_DFU_CRITICAL_ERROR},
                      Row{"neverChecked", "ota-fault=\"never-checked\"", QV_DFU_FAILED}),
    [](const ::testing::TestParamInfo<Row>& info) { return std::string(info.param.name); });

// The device drops its link to restart in its bootloader; that news may overtake the switch's reply.
TEST_F(OverTheAirTest, LinkDropAheadOfTheSwitchReplyIsTheRestart)
{
    start_engine("", [](SimHidReceiver& rx) { rx.paired(1)->ota().set_leave_before_reply(true); });
    const auto image = make_image(4 * 15);
    EXPECT_EQ(update(image), QV_DFU_SUCCEEDED);
    EXPECT_EQ(ota().image(), image);
}

// A protocol 1.0 device that refuses register 0x0D tells its level class in register 0x07.
struct Battery {
    const char* name;
    const char* attributes;
    bool register0d;
};

void PrintTo(const Battery& row, std::ostream* os)
{
    *os << row.name;
}

class LowBattery : public OverTheAirTest, public ::testing::WithParamInterface<Battery> {};

TEST_P(LowBattery, IsNotTouched)
{
    const Battery& c = GetParam();
    start_engine(c.attributes, [&](SimHidReceiver& rx) {
        rx.paired(1)->set_battery(10, 5);
        rx.paired(1)->ota().set_battery_register_0d(c.register0d);
    });
    EXPECT_EQ(update(make_image(45)), QV_DFU_NEWER_FW_AVAILABLE) << "battery too low at the end of an update";
    EXPECT_EQ(values(QV_EVENT_DFU_BATTERY_CHECK), std::vector<std::uint64_t>{1});
    EXPECT_EQ(info_of(device).Battery, 2);
    EXPECT_EQ(ota().packets(), 0u);
    EXPECT_FALSE(ota().in_bootloader());
}

INSTANTIATE_TEST_SUITE_P(
    Devices, LowBattery,
    ::testing::Values(Battery{"feature", "", true}, Battery{"register0d", "protocol=\"1.0\"", true},
                      Battery{"register07", "protocol=\"1.0\"", false}),
    [](const ::testing::TestParamInfo<Battery>& info) { return std::string(info.param.name); });

TEST_F(OverTheAirTest, SmallestImages)
{
    start_engine("slider=\"3\"");
    EXPECT_EQ(info_of(device).Slider, 3) << "from the pairing record";
    EXPECT_EQ(update(make_image(15)), QV_DFU_SUCCEEDED);
    EXPECT_EQ(ota().image(), make_image(15)) << "15 bytes: one packet";
}

}  // namespace

namespace {

TEST_F(OverTheAirTest, LinkThatDoesNotComeBackFailsTheUpdate)
{
    start_engine("ota-fault=\"link-loss\" ota-fault-at=\"3\"",
                 [](SimHidReceiver& rx) { rx.paired(1)->ota().set_relink_delay(std::chrono::seconds(5)); });
    EXPECT_EQ(update(make_image(10 * 15)), QV_DFU_FAILED);
    EXPECT_EQ(info_of(device).DFUStatus, QV_DFU_FAILED);
}

}  // namespace

namespace {

// With no attempt limit (the default), a device that keeps refusing still ends the update:
// a chunk never acknowledged gives up after the link-recovery wait, or after its link dropped and
// came back five times, and every restart request counts against the limit of 5 at once.
struct Refusal {
    const char* name;
    SimOta::Fault fault;
    unsigned at;
    long restarts;  // milestones 10
};

void PrintTo(const Refusal& row, std::ostream* os)
{
    *os << row.name;
}

class EndlessRefusals : public OverTheAirTest, public ::testing::WithParamInterface<Refusal> {};

TEST_P(EndlessRefusals, EndTheUpdate)
{
    const Refusal& c = GetParam();
    start_engine("", [&](SimHidReceiver& rx) {
        rx.paired(1)->ota().set_fault(c.fault, c.at);
        rx.paired(1)->ota().set_fault_repeats(true);
    });
    EXPECT_EQ(update(make_image(10 * 15)), QV_DFU_FAILED);
    const auto milestones = values(QV_EVENT_DFU_MILESTONE);
    EXPECT_EQ(std::count(milestones.begin(), milestones.end(), 10u), c.restarts);
    EXPECT_LT(ota().packets(), 40u) << "not resent for ever";
}

INSTANTIATE_TEST_SUITE_P(
    Devices, EndlessRefusals,
    ::testing::Values(Refusal{"chunkCheckedForEver", SimOta::Fault::Checked, 3, 0},
                      Refusal{"restartOnEveryPacket", SimOta::Fault::RestartRequest, 1, 6},
                      Refusal{"linkLostOnEveryPacket", SimOta::Fault::LinkLoss, 3, 0}),
    [](const ::testing::TestParamInfo<Refusal>& info) { return std::string(info.param.name); });

}  // namespace

namespace {

// The updated device's link events belong to its operation: once it ends, a later operation
// (or a wait on the manager's ids) never sees that device's link coming and going.
TEST_F(OverTheAirTest, LinkEventsAreUnboundAtTheEnd)
{
    start_engine("");
    for (int round = 0; round < 2; ++round) {
        SCOPED_TRACE(round);
        const std::size_t before = log.events().size();
        EXPECT_EQ(update(make_image(3 * 15)), QV_DFU_SUCCEEDED) << [&] {
            std::string all;
            const auto events = log.events();
            for (std::size_t i = before; i < events.size(); ++i)
                all += std::to_string(events[i].event) + ":" + std::to_string(events[i].value) + " ";
            return all;
        }();
        // Back from its bootloader (its link dropped after the transfer and came back), the device
        // is reachable: its link-up event is set.
        ASSERT_TRUE(log.wait([&](const std::vector<Event>& all) {
            bool transferred = false, dropped = false, back = false;
            for (std::size_t i = before; i < all.size(); ++i) {
                const Event& e = all[i];
                if (e.handle != device)
                    continue;
                if (e.event == QV_EVENT_DFU_MILESTONE && e.value == 4)
                    transferred = true;
                else if (transferred && e.event == QV_EVENT_WIRELESS_STATUS) {
                    dropped = dropped || e.value == 1;
                    back = dropped && e.value == 0;
                }
            }
            return back && info_of(device).DFUStatus == QV_DFU_SUCCEEDED;
        }));
        EXPECT_EQ(qv::DfuManager::instance().wait(0, {qv::DfuManager::kLinkUp, qv::DfuManager::kLinkLost}),
                  static_cast<DWORD>(WAIT_TIMEOUT));
    }
}

}  // namespace
