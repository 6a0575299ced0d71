// A scenario keyboard with 64-byte reports (usage page 0xFF43) reaches the application's facade
// and carries the frames that outgrow the long report unchanged: per-key pages of 60 bytes,
// a 22-byte force block, raw frames of 22 to 64 bytes, and a very long notification to a
// queued subscriber.
#include "ManagerTestSupport.h"

#include "core/CDevio.h"
#include "core/Subscriber.h"
#include "core/Timing.h"
#include "device/IDevice.h"
#include "devices/SimHidReceiver.h"
#include "features/IFeature8080PerKeyLighting.h"
#include "features/IFeature8100OnboardProfiles.h"
#include "features/IFeature8123ForceFeedback.h"
#include "quillon/ProductIds.h"

#include <sim/DeviceTree.h>
#include <sim/HidCollection.h>
#include <sim/Kernel.h>
#include <sim/Scenario.h>

#include <gtest/gtest.h>

#include <condition_variable>
#include <cstdio>
#include <mutex>

namespace devio::test {
namespace {

std::string hex(const std::vector<Byte>& bytes)
{
    std::string out;
    char two[4];
    for (Byte b : bytes) {
        std::snprintf(two, sizeof two, "%02X ", b);
        out += two;
    }
    return out;
}

// The 0x8123 block B that the feature builds for the values below.
const std::vector<Byte> kForceBlock{0x02, 0x9F, 0x11, 0x12, 0x13, 0x14, 0x7F, 0xFF, 0x80, 0x01, 0x15,
                                    0x16, 0x80, 0x00, 0xFF, 0x17, 0x18, 0x7F, 0x19, 0x1A, 0xFF, 0xFE};

std::string scenario_text(std::uint16_t pid)
{
    // Keys 1..30 of set 1, in pages of 14.
    std::string pages;
    for (int first = 0; first < 30; first += 14) {
        std::vector<Byte> page{0, 0, 0, 0};
        for (int k = first + 1; k <= 30 && k <= first + 14; ++k)
            page.insert(page.end(), {static_cast<Byte>(k), static_cast<Byte>(k), 0x10, 0x20});
        pages += "<answer function=\"2\" params=\"00 01 00 " + hex({static_cast<Byte>(first)}) + "\" bytes=\"" +
                 hex(page) + "\"/>";
    }
    char product[8];
    std::snprintf(product, sizeof product, "0x%04X", pid);
    return std::string("<scenario><device kind=\"keyboard\" name=\"kb\" vendor=\"0x7E51\" product=\"") + product +
           "\" very-long=\"true\">"
           "<feature id=\"0x8080\"><answer function=\"1\" params=\"00 01\" bytes=\"00 1E 00 00 00\"/>" +
           pages +
           "</feature>"
           // The slot comes back only for exactly this block.
           "<feature id=\"0x8123\"><answer function=\"2\" params=\"" +
           hex(kForceBlock) +
           "\" bytes=\"05\"/></feature>"
           "<feature id=\"0x8100\"/></device></scenario>";
}

class Profiles : public Subscriber<IFeature8100OnboardProfiles::Report> {
public:
    void onProfileActivated(IFeature8100OnboardProfiles::ProfileId p) override
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_profile = p;
        m_changed.notify_all();
    }
    int wait_for_profile()
    {
        std::unique_lock<std::mutex> lock(m_mutex);
        m_changed.wait_for(lock, std::chrono::seconds(20), [this] { return m_profile >= 0; });
        return m_profile;
    }

private:
    std::mutex m_mutex;
    std::condition_variable m_changed;
    int m_profile = -1;
};

TEST(VeryLongReports, AKeyboardWithSixtyFourByteReportsThroughTheFacade)
{
    platform::sim::reset_machine();
    Timing::setScale(1, 20);
    const std::uint16_t pid = quillon::ids::kKeyboardC.productId;
    auto scenario = platform::sim::Scenario::from_text(scenario_text(pid));
    const auto* kb = scenario.device("kb");
    ASSERT_TRUE(kb);
    ASSERT_EQ(kb->collections.size(), 3u);
    const auto veryLong = kb->collections[2];
    EXPECT_EQ(veryLong->layout().usagePage, 0xFF43);
    EXPECT_EQ(veryLong->output_length(), 64u);

    FacadeSession session;
    ASSERT_TRUE(session.open({ConfigUsbHid}));
    scenario.plug();
    auto dev = session.changes.wait_for(Changes::key("+", TransportUsbHid, pid));
    ASSERT_TRUE(dev);

    // Thirty keys in pages of 14, 14 and 2: replies of 60 payload bytes.
    auto keys = std::dynamic_pointer_cast<IFeature8080PerKeyLighting>(dev->getFeatureSync(0x8080));
    ASSERT_TRUE(keys);
    std::vector<IFeature8080PerKeyLighting::KeyRecord> out;
    ASSERT_TRUE(keys->GetKeys(1, out));
    ASSERT_EQ(out.size(), 30u);
    EXPECT_EQ(out[29], (IFeature8080PerKeyLighting::KeyRecord{30, 30, 0x10, 0x20}));

    // The 22-byte force block leaves as one 64-byte report 0x12, every byte in place.
    auto force = std::dynamic_pointer_cast<IFeature8123ForceFeedback>(dev->getFeatureSync(0x8123));
    ASSERT_TRUE(force);
    const std::size_t before = veryLong->written_reports().size();
    std::uint32_t slot = 0x102;
    ASSERT_TRUE(force->DownloadForceB(&slot, 0x1F, 9, 1, 0x1112, 0x1314, 1.0f, -1.0f, 0x1516, -2.0f, 1.0f, 0x1718, 0.5f,
                                      0x191A, 2.0f));
    EXPECT_EQ(slot, 5u);
    const auto written = veryLong->written_reports();
    ASSERT_EQ(written.size(), before + 1);
    const auto& report = written.back();
    ASSERT_EQ(report.size(), 64u);
    EXPECT_EQ(report[0], 0x12);
    EXPECT_EQ(std::vector<Byte>(report.begin() + 4, report.begin() + 26), kForceBlock);

    // Raw frames of 22 to 64 bytes: each one report 0x12 holding the frame unchanged.
    const Byte index = std::static_pointer_cast<IFeature>(force)->feature_index();
    for (std::size_t n : {22u, 33u, 64u}) {
        SCOPED_TRACE(n);
        std::vector<Byte> frame(n);
        frame[0] = 0x11;
        frame[1] = 0xFF;
        frame[2] = index;
        frame[3] = 0x6A; // function 6, software id 10
        for (std::size_t k = 4; k < n; ++k)
            frame[k] = static_cast<Byte>(k);
        std::vector<Byte> reply;
        EXPECT_TRUE(dev->execute(frame, reply, 0, {}));
        const auto last = veryLong->written_reports().back();
        EXPECT_EQ(last[0], 0x12);
        // The device puts its software id in the low nibble of byte 3; the rest is the frame.
        EXPECT_EQ(last[3] >> 4, 6);
        EXPECT_EQ(std::vector<Byte>(last.begin() + 1, last.begin() + 3), std::vector<Byte>(frame.begin() + 1, frame.begin() + 3));
        EXPECT_EQ(std::vector<Byte>(last.begin() + 4, last.begin() + static_cast<std::ptrdiff_t>(n)),
                  std::vector<Byte>(frame.begin() + 4, frame.end()));
    }

    // A very long notification reaches a queued subscriber through the run loop.
    auto profiles = std::dynamic_pointer_cast<IFeature8100OnboardProfiles>(dev->getFeatureSync(0x8100));
    ASSERT_TRUE(profiles);
    Profiles subscriber;
    ASSERT_TRUE(subscriber.subscribe(profiles, 0, "test"));
    std::vector<Byte> notice(64, 0);
    notice[0] = 0x12;
    notice[1] = 0xFF;
    notice[2] = std::static_pointer_cast<IFeature>(profiles)->feature_index();
    notice[5] = 0x03;
    ASSERT_TRUE(veryLong->send_input_report(notice));
    EXPECT_EQ(subscriber.wait_for_profile(), 3);
    subscriber.unsubscribe(profiles);

    keys.reset();
    force.reset();
    profiles.reset();
    dev.reset();
    session.close();
}

// Behind a receiver the longest report holds 20 bytes: a frame that outgrows it fails with the
// transport's code and is never cut; a block that fits goes through.
TEST(VeryLongReports, BehindAReceiverLongerFramesFailWithTheTransportsCode)
{
    platform::sim::reset_machine();
    Timing::setScale(1, 20);
    const auto pairedIds = quillon::ids::kKeyboardD;
    platform::sim::SimHidReceiver receiver(quillon::ids::kMiraReceiver[0], 0x1A2B3C4D);
    auto paired = platform::sim::sim_keyboard_config();
    paired.product_id = pairedIds.productId;
    paired.features.push_back({0x8123, 0, 0});
    paired.answers.push_back(platform::sim::SimAnswer::fixed(0x8123, 2, {0x07}));
    auto* model = receiver.pair(1, paired);
    ASSERT_NE(model, nullptr);

    FacadeSession session;
    ASSERT_TRUE(session.open({ConfigReceivers}));
    receiver.plug();
    auto dev = session.changes.wait_for(Changes::key("+", TransportReceiver, pairedIds.productId));
    ASSERT_TRUE(dev);
    auto force = std::dynamic_pointer_cast<IFeature8123ForceFeedback>(dev->getFeatureSync(0x8123));
    ASSERT_TRUE(force);

    model->clear_log();
    std::uint32_t slot = 1;
    EXPECT_FALSE(force->DownloadForceB(&slot, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0));
    EXPECT_EQ(last_error().code, 25u);
    EXPECT_EQ(slot, 1u);
    EXPECT_EQ(model->write_count(), 0u) << "nothing cut to fit";
    EXPECT_TRUE(force->DownloadForceA(&slot, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0));
    EXPECT_EQ(slot, 7u);

    force.reset();
    dev.reset();
    session.close();
}

} // namespace
} // namespace devio::test
