// The gaming, lighting and audio features beyond single exchanges: every notification to its
// handler (or to nothing), the RPM indicator's packings, force-feedback scaling and blocks,
// attachment lists, the RGB effect record and the per-key colour blocks.
#include "GoldenWire.h"
#include "HandlerLog.h"

#include "core/Subscriber.h"
#include "core/IRunLoopManager.h"
#include "features/Feature.h"
#include "features/Feature807aRpmIndicator.h"
#include "features/Feature8123ForceFeedback.h"
#include "features/Feature8120GamingAttachments.h"
#include "features/IFeature8010Vantor.h"
#include "features/IFeature8020Mkeys.h"
#include "features/IFeature8030MR.h"
#include "features/IFeature8040BrightnessControl.h"
#include "features/IFeature8070ColorLEDEffects.h"
#include "features/IFeature8071RGBEffects.h"
#include "features/IFeature8081PerKeyLighting.h"
#include "features/IFeature8090ModeStatus.h"
#include "features/IFeature80D0CombinedPedals.h"
#include "features/IFeature8100OnboardProfiles.h"
#include "features/IFeature8110MouseButtonSpy.h"
#include "features/IFeature8111LatencyMonitoring.h"
#include "features/IFeature8127DualClutch.h"
#include "features/IFeature8300Sidetone.h"
#include "features/IFeature8320JackDetection.h"
#include "features/IFeature8330MicrophonePolarPattern.h"
#include "features/IFeature8350MicrophoneBlendAdjust.h"
#include "features/IFeature8360MicrophoneHeadphoneAdjust.h"
#include "features/IFeature8370MicrophoneGainAdjust.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>

using namespace devio;
using namespace devio::test;

namespace {

using B = std::vector<Byte>;
using F = std::shared_ptr<IFeature>;

// ---------------------------------------------------------------- notifications

// Every handler of every event interface of these features, as text.
struct Recorder : HandlerLog,
                  Subscriber<IFeature8010Vantor::Report>,
                  Subscriber<IFeature8020Mkeys::Report>,
                  Subscriber<IFeature8030MR::Report>,
                  Subscriber<IFeature8040BrightnessControl::Report>,
                  Subscriber<IFeature8070ColorLEDEffects::Report>,
                  Subscriber<IFeature8071RGBEffects::Report>,
                  Subscriber<IFeature807aRpmIndicator::Report>,
                  Subscriber<IFeature8090ModeStatus::Report>,
                  Subscriber<IFeature80D0CombinedPedals::Event>,
                  Subscriber<IFeature8100OnboardProfiles::Report>,
                  Subscriber<IFeature8110MouseButtonSpy::Report>,
                  Subscriber<IFeature8111LatencyMonitoring::Report>,
                  Subscriber<IFeature8120GamingAttachments::Report>,
                  Subscriber<IFeature8123ForceFeedback::ForceNotification>,
                  Subscriber<IFeature8127DualClutch::Report>,
                  Subscriber<IFeature8300Sidetone::Report>,
                  Subscriber<IFeature8320JackDetection::Report>,
                  Subscriber<IFeature8330MicrophonePolarPattern::Report>,
                  Subscriber<IFeature8350MicrophoneBlendAdjust::Report>,
                  Subscriber<IFeature8360MicrophoneHeadphoneAdjust::Report>,
                  Subscriber<IFeature8370MicrophoneGainAdjust::Report> {
    void onButtonReport(const std::vector<Byte>& p) override { add("onButtonReport", p); }
    void onButtonReport(const Byte& b) override { add("onButtonReport", b); }
    void onButtonReport(const bool& b) override { add("onButtonReport", b); }
    void onBrightnessChanged(std::uint16_t v) override { add("onBrightnessChanged", v); }
    void onSyncReport(const std::vector<Byte>& p) override { add("onSyncReport", p); }
    void onUserActivity(const std::vector<Byte>& p) override { add("onUserActivity", p); }
    void OnRPMModeChanged(IFeature807aRpmIndicator::mode m) override { add("OnRPMModeChanged", m); }
    void onStatusReport(Byte a, Byte b, Byte c, Byte d) override { add("onStatusReport", a, b, c, d); }
    void onCombinedPedalsChanged(bool v) override { add("onCombinedPedalsChanged", v); }
    void onProfileActivated(IFeature8100OnboardProfiles::ProfileId p) override { add("onProfileActivated", p); }
    void onActiveProfileResolutionChanged(int v) override { add("onActiveProfileResolutionChanged", v); }
    void onButtonReport(std::uint16_t v) override { add("onButtonReport", v); }
    void onLatencyEvent(const IFeature8111LatencyMonitoring::LatencyEventInfo& i) override
    {
        add("onLatencyEvent", i.value0, i.value1, i.value7);
    }
    void onAttachmentChanged(const std::vector<IFeature8120GamingAttachments::AttachmentId>& l) override
    {
        add("onAttachmentChanged", std::vector<long long>(l.begin(), l.end()));
    }
    void onExpiredForces(const std::vector<unsigned int>& s) override { add("onExpiredForces", s); }
    void OnSettingsChanged(bool a, int b, int c, bool d, IFeature8127DualClutch::DualClutchState s, bool e) override
    {
        add("OnSettingsChanged", a, b, c, d, s, e);
    }
    void onSidetoneChangeEvent(unsigned a, unsigned b, unsigned c) override { add("onSidetoneChangeEvent", a, b, c); }
    void onJackChange(short a, short b) override { add("onJackChange", a, b); }
    void onMicPolarPatternChanged(IFeature8330MicrophonePolarPattern::PolarPattern p) override
    {
        add("onMicPolarPatternChanged", p);
    }
    void onMicBlendLevelChanged(int a, int b, int c) override { add("onMicBlendLevelChanged", a, b, c); }
    void onMicModeChanged(int a, IFeature8350MicrophoneBlendAdjust::Mode m) override { add("onMicModeChanged", a, m); }
    void onJackLevelChanged(int n, bool on, std::vector<int> l) override { add("onJackLevelChanged", n, on, l); }
    void onMicLevelChanged(int n, bool on, std::vector<int> l) override { add("onMicLevelChanged", n, on, l); }

    int mode = 1; // 1 direct, 0 queued
    template <class E>
    void join_one(const F& f)
    {
        Subscriber<E>::subscribe(f, mode, "");
    }
    void join_queued(const F& f)
    {
        mode = 0;
        join(f);
    }
    void join(const F& f)
    {
        join_one<IFeature8010Vantor::Report>(f);
        join_one<IFeature8020Mkeys::Report>(f);
        join_one<IFeature8030MR::Report>(f);
        join_one<IFeature8040BrightnessControl::Report>(f);
        join_one<IFeature8070ColorLEDEffects::Report>(f);
        join_one<IFeature8071RGBEffects::Report>(f);
        join_one<IFeature807aRpmIndicator::Report>(f);
        join_one<IFeature8090ModeStatus::Report>(f);
        join_one<IFeature80D0CombinedPedals::Event>(f);
        join_one<IFeature8100OnboardProfiles::Report>(f);
        join_one<IFeature8110MouseButtonSpy::Report>(f);
        join_one<IFeature8111LatencyMonitoring::Report>(f);
        join_one<IFeature8120GamingAttachments::Report>(f);
        join_one<IFeature8123ForceFeedback::ForceNotification>(f);
        join_one<IFeature8127DualClutch::Report>(f);
        join_one<IFeature8300Sidetone::Report>(f);
        join_one<IFeature8320JackDetection::Report>(f);
        join_one<IFeature8330MicrophonePolarPattern::Report>(f);
        join_one<IFeature8350MicrophoneBlendAdjust::Report>(f);
        join_one<IFeature8360MicrophoneHeadphoneAdjust::Report>(f);
        join_one<IFeature8370MicrophoneGainAdjust::Report>(f);
    }
};

struct NotifyRow {
    const char* name;
    std::uint16_t feature;
    int event;
    B payload;
    std::string handled; // "" for nothing
    ErrorCode code;      // left on the delivering thread
};


TEST(Notifications, ReachTheirHandlersOrNothing)
{
    B sixteen{1, 1};
    for (Byte k = 0; k < 14; ++k)
        sixteen.push_back(k);
    const NotifyRow rows[] = {
        {"8010 four bytes", 0x8010, 0, {1, 2, 3, 4}, "onButtonReport [1,2,3,4]", 0},
        {"8010 three bytes", 0x8010, 0, {1, 2, 3}, "", 0},
        {"8010 event 1", 0x8010, 1, {1, 2, 3, 4}, "", 0},
        {"8020 one byte", 0x8020, 0, {0x05}, "onButtonReport 5", 0},
        {"8020 empty", 0x8020, 0, {}, "", 0},
        {"8030 bit 0 clear", 0x8030, 0, {0x02}, "onButtonReport 0", 0},
        {"8030 bit 0 set", 0x8030, 0, {0x03}, "onButtonReport 1", 0},
        {"8040 two bytes", 0x8040, 0, {0x01, 0x2C}, "onBrightnessChanged 300", 0},
        {"8040 one byte", 0x8040, 0, {0x01}, "", 0},
        {"8071 event 1, four bytes", 0x8071, 1, {1, 2, 3, 4}, "onUserActivity [1,2,3,4]", 0},
        {"8071 event 1, three bytes", 0x8071, 1, {1, 2, 3}, "", 0},
        {"8071 event 0", 0x8071, 0, {1, 2, 3, 4}, "onSyncReport [1,2,3,4]", 0},
        {"807A mode", 0x807A, 0, {3}, "OnRPMModeChanged 3", 0},
        {"807A empty", 0x807A, 0, {}, "", 0},
        {"8090 four bytes in order", 0x8090, 0, {0x0A, 0x0B, 0x0C, 0x0D}, "onStatusReport 10 11 12 13", 0},
        {"8090 three bytes", 0x8090, 0, {0x0A, 0x0B, 0x0C}, "", 0},
        {"80D0 0xFF", 0x80D0, 0, {0xFF}, "onCombinedPedalsChanged 1", 0},
        {"80D0 0xFE", 0x80D0, 0, {0xFE}, "onCombinedPedalsChanged 0", 0},
        {"8100 profile", 0x8100, 0, {0x00, 0x03}, "onProfileActivated 3", 0},
        {"8100 profile, one byte", 0x8100, 0, {0x00}, "", 0},
        {"8100 resolution", 0x8100, 1, {0x02}, "onActiveProfileResolutionChanged 2", 0},
        {"8100 event 2", 0x8100, 2, {0x02, 0x03}, "", 0},
        {"8110 eight bytes", 0x8110, 0, {0x80, 0x01, 0, 0, 0, 0, 0, 0}, "onButtonReport 32769", 0},
        {"8110 three bytes", 0x8110, 0, {0x80, 0x01, 0}, "", 0},
        {"8111 sixteen bytes", 0x8111, 0, {0, 1, 0, 2, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0x12, 0x34},
         "onLatencyEvent 1 2 4660", 0},
        {"8111 fifteen bytes", 0x8111, 0, B(15, 1), "", 0},
        {"8120 list", 0x8120, 0, {2, 1, 4}, "onAttachmentChanged [1,4]", 0},
        {"8120 bad identifier publishes empty", 0x8120, 0, {1, 9}, "onAttachmentChanged []", 46},
        {"8120 count past the payload", 0x8120, 0, {3, 1}, "onAttachmentChanged []", 2},
        {"8120 empty", 0x8120, 0, {}, "", 0},
        {"8123 any event", 0x8123, 5, {2, 5, 7}, "onExpiredForces [5,7]", 0},
        {"8123 count past the payload is cut", 0x8123, 0, {9, 5, 7}, "onExpiredForces [5,7]", 0},
        {"8123 empty payload", 0x8123, 0, {}, "onExpiredForces []", 0},
        {"8127 six bytes", 0x8127, 0, {0x01, 0x10, 0x20, 0x00, 0x03, 0x01}, "OnSettingsChanged 1 16 32 0 3 1", 0},
        {"8127 five bytes", 0x8127, 0, {1, 2, 3, 4, 5}, "", 0},
        {"8300 three bytes", 0x8300, 0, {5, 16, 32}, "onSidetoneChangeEvent 5 16 32", 0},
        {"8300 event 1", 0x8300, 1, {5, 16, 32}, "", 0},
        {"8320 two bytes", 0x8320, 0, {1, 0x80}, "onJackChange 1 128", 0},
        {"8320 one byte", 0x8320, 0, {1}, "", 0},
        {"8330 pattern mapped", 0x8330, 0, {7}, "onMicPolarPatternChanged 0", 0},
        {"8330 empty sets 2", 0x8330, 3, {}, "", 2},
        {"8350 level", 0x8350, 0, {1, 2, 3}, "onMicBlendLevelChanged 1 2 3", 0},
        {"8350 level on one byte reads zeros", 0x8350, 0, {1}, "onMicBlendLevelChanged 1 0 0", 0},
        {"8350 mode unmapped", 0x8350, 1, {2, 5}, "onMicModeChanged 2 5", 0},
        {"8350 event 2", 0x8350, 2, {2, 5}, "", 0},
        {"8350 empty sets 2", 0x8350, 2, {}, "", 2},
        {"8360 levels", 0x8360, 0, {3, 1, 0x0A, 0x0B}, "onJackLevelChanged 3 1 [10,11]", 0},
        {"8360 two bytes", 0x8360, 0, {3, 2}, "onJackLevelChanged 3 0 []", 0},
        {"8360 one byte reads byte 1 as 0", 0x8360, 0, {3}, "onJackLevelChanged 3 0 []", 0},
        {"8360 empty sets 2 whatever the event", 0x8360, 4, {}, "", 2},
        {"8360 other event", 0x8360, 1, {3, 1}, "", 0},
        {"8370 a long report's payload", 0x8370, 0, sixteen,
         "onMicLevelChanged 1 1 [0,1,2,3,4,5,6,7,8,9,10,11,12,13]", 0},
    };
    for (const NotifyRow& r : rows) {
        SCOPED_TRACE(r.name);
        expect_delivery<Recorder>(
            r.feature, [&r](Feature& f) { f.onFeatureReport(r.event, r.payload); }, r.handled, r.code);
    }
}

// The names a queued delivery carries to the run loop: the handler names, exactly.
class NameLoop : public IRunLoopManager {
public:
    void post(std::function<bool()>, void*, void*, std::string name) override { names.push_back(std::move(name)); }
    void process() override {}
    void flush(void*, void*) override {}
    std::vector<std::string> names;
};

TEST(Notifications, CarryTheirExactHandlerNames)
{
    struct Row {
        std::uint16_t feature;
        int event;
        B payload;
        const char* name;
    };
    const Row rows[] = {
        {0x8010, 0, {1, 2, 3, 4}, "IFeature8010Vantor::Report::onButtonReport"},
        {0x8020, 0, {1}, "IFeature8020Mkeys::Report::onButtonReport"},
        {0x8030, 0, {1}, "IFeature8030MR::Report::onButtonReport"},
        {0x8040, 0, {1, 2}, "Feature8040BrightnessControl::Report::onBrightnessChanged"},
        {0x8071, 0, {1, 2, 3, 4}, "IFeature8071RGBEffects::Report::onSyncReport"},
        {0x8071, 1, {1, 2, 3, 4}, "IFeature8071RGBEffects::Report::onUserActivity"},
        {0x807A, 0, {1}, "Feature807aRpmIndicator::report::OnRPMModeChanged"},
        {0x8090, 0, {1, 2, 3, 4}, "Feature8090ModeStatus::Report::onStatusReport"},
        {0x80D0, 0, {1}, "IFeature80D0CombinedPedals::Event::onCombinedPedalsChanged"},
        {0x8100, 0, {0, 1}, "Feature8100OnboardProfiles::Report::onProfileActivated"},
        {0x8100, 1, {1}, "Feature8100OnboardProfiles::Report::onActiveProfileResolutionChanged"},
        {0x8110, 0, B(8, 1), "Feature8110MouseButtonSpy::Report::onButtonReport"},
        {0x8111, 0, B(16, 1), "Feature8111LatencyMonitoring::Report::onLatencyEvent"},
        {0x8120, 0, {1, 1}, "Feature8120GamingAttachments::Report::onAttachmentChanged"},
        {0x8123, 0, {1, 1}, "Feature8123ForceFeedback::ForceNotification::onExpiredForces"},
        {0x8127, 0, B(6, 1), "feature8127dualclutch::report::OnSettingsChanged"},
        {0x8300, 0, {1, 2, 3}, "Feature8300Sidetone::Report::onSidetoneChangeEvent"},
        {0x8320, 0, {1, 2}, "Feature8320JackDetection::Report::onJackChange"},
        {0x8330, 0, {1}, "Feature8330MicrophonePolarPattern::Report::onMicPolarPatternChanged"},
        {0x8350, 0, {1, 2, 3}, "Feature8350MicrophoneBlendAdjust::Report::onMicBlendLevelChanged"},
        {0x8350, 1, {1, 2}, "Feature8350MicrophoneBlendAdjust::Report::onMicModeChanged"},
        {0x8360, 0, {1, 1}, "Feature8360MicrophoneHeadphoneAdjust::Report::onJackLevelChanged"},
        {0x8370, 0, {1, 1}, "Feature8370MicrophoneGainAdjust::Report::onMicLevelChanged"},
    };
    auto loop = std::make_shared<NameLoop>();
    for (const Row& r : rows) {
        SCOPED_TRACE(r.name);
        auto dev = std::make_shared<FakeDevice>();
        auto feature = make_feature(r.feature, kGoldenIndex, dev);
        auto base = std::dynamic_pointer_cast<Feature>(feature);
        base->set_run_loop(loop);
        Recorder recorder;
        recorder.join_queued(feature);
        loop->names.clear();
        base->onFeatureReport(r.event, r.payload);
        ASSERT_EQ(loop->names.size(), 1u);
        EXPECT_EQ(loop->names[0], r.name);
    }
}

// ---------------------------------------------------------------- RPM indicator

TEST(RpmIndicator, PacksAndUnpacksEachMode)
{
    struct Row {
        const char* name;
        std::uint8_t mode;
        std::uint8_t count;
        std::vector<std::uint32_t> states;
        B packed;
    };
    const Row rows[] = {
        {"mode 1: three bytes each, the count ignored", 1, 1, {0x00FF8000, 0x000000FF}, {0xFF, 0x80, 0, 0, 0, 0xFF}},
        {"mode 2: low bytes up to the count", 2, 2, {0x101, 0x202, 3, 4}, {0x01, 0x02}},
        {"mode 3: bits from bit 0, a partial last byte", 3, 10, {1, 0, 1, 0, 1, 0, 1, 0, 1, 0}, {0x55, 0x01}},
        {"mode 3: exactly eight", 3, 8, {0, 0, 0, 0, 0, 0, 0, 7}, {0x80}},
        {"another mode packs nothing", 0, 3, {1, 2, 3}, {}},
    };
    for (const Row& r : rows) {
        SCOPED_TRACE(r.name);
        EXPECT_EQ(Feature807aRpmIndicator::pack(r.mode, r.count, r.states), r.packed);
    }
    using V = std::vector<std::uint32_t>;
    EXPECT_EQ(Feature807aRpmIndicator::unpack(1, {0, 4, 0xAA}), (V{0, 0, 0, 0}));
    EXPECT_EQ(Feature807aRpmIndicator::unpack(2, {0, 5, 7, 8, 9}), (V{7, 8, 9})) << "stops where the data ends";
    EXPECT_EQ(Feature807aRpmIndicator::unpack(3, {0, 3, 0x05}), (V{1, 0, 1}));
    EXPECT_EQ(Feature807aRpmIndicator::unpack(3, {0, 10, 0xFF}), V(8, 1));
    EXPECT_EQ(Feature807aRpmIndicator::unpack(0, {0, 3, 1, 2, 3}), V{});
}

TEST(RpmIndicator, TheModeIsKeptUntilTheDeviceAnnouncesAChange)
{
    auto dev = std::make_shared<FakeDevice>();
    Byte mode = 2;
    dev->answer = [&mode](const B& c) {
        return FakeDevice::reply_to(c, function_of(c) == 0 ? B{mode, 0, 3} : B{0, 0, 0});
    };
    auto rpm = make<IFeature807aRpmIndicator>(0x807A, dev);
    ASSERT_TRUE(rpm->SetLedStates(0, 2, {7, 8}));
    ASSERT_TRUE(rpm->SetLedStates(0, 2, {7, 8}));
    auto log = dev->log();
    ASSERT_EQ(log.size(), 3u) << "one mode lookup for two writes";
    EXPECT_EQ(params_of(log[2].command), (B{0, 2, 7, 8}));

    // The device switches to bits: the notice clears the kept mode, the next write asks again.
    mode = 3;
    std::dynamic_pointer_cast<Feature>(std::static_pointer_cast<IFeature>(rpm))->onFeatureReport(0, {3});
    dev->clear_log();
    ASSERT_TRUE(rpm->SetLedStates(0, 2, {7, 0}));
    log = dev->log();
    ASSERT_EQ(log.size(), 2u);
    EXPECT_EQ(function_of(log[0].command), 0u);
    EXPECT_EQ(params_of(log[1].command), (B{0, 2, 0x01}));

    // A failed lookup leaves the mode unknown: only first and count go.
    auto silent = std::make_shared<FakeDevice>();
    auto rpm2 = make<IFeature807aRpmIndicator>(0x807A, silent);
    EXPECT_FALSE(rpm2->SetLedStates(4, 2, {1, 1}));
    ASSERT_EQ(silent->log().size(), 2u);
    EXPECT_EQ(params_of(silent->log()[1].command), (B{4, 2}));

    // GetInfo without a mode pointer leaves the kept mode; GetLedBytes takes the count it read.
    dev->clear_log();
    std::uint32_t leds = 0;
    ASSERT_TRUE(rpm->GetInfo(nullptr, nullptr, &leds));
    EXPECT_EQ(leds, 3u);
    std::vector<Byte> bytes;
    ASSERT_TRUE(rpm->GetLedBytes(&bytes));
    EXPECT_EQ(bytes.size(), 3u);
    ASSERT_TRUE(rpm->SetLedStates(0, 1, {1}));
    EXPECT_EQ(dev->log().size(), 3u) << "no lookup: the mode is still kept";
    EXPECT_FALSE(rpm->GetLedBytes(nullptr));
}

// ---------------------------------------------------------------- force feedback

TEST(ForceFeedback, ScaledValuesClampBeforeTheyBecomeIntegers)
{
    using FF = Feature8123ForceFeedback;
    const float nan = std::numeric_limits<float>::quiet_NaN();
    const float inf = std::numeric_limits<float>::infinity();
    struct Row {
        const char* name;
        float value;
        std::uint16_t s, u, f;
        std::uint8_t b;
    };
    const Row rows[] = {
        {"1", 1.0f, 0x7FFF, 0x7FFF, 0xFFFF, 0xFF},
        {"-1", -1.0f, 0x8001, 0, 0, 0},
        {"2", 2.0f, 0x7FFF, 0xFFFE, 0xFFFF, 0xFF},
        {"-2", -2.0f, 0x8000, 0, 0, 0},
        {"0.5 truncates", 0.5f, 0x3FFF, 0x3FFF, 0x7FFF, 0x7F},
        {"-0.1", -0.1f, 0xF334, 0, 0, 0},
        {"NaN", nan, 0, 0, 0, 0},
        {"infinity", inf, 0x7FFF, 0xFFFF, 0xFFFF, 0xFF},
        {"minus infinity", -inf, 0x8000, 0, 0, 0},
        {"1e30", 1e30f, 0x7FFF, 0xFFFF, 0xFFFF, 0xFF},
        {"-1e30", -1e30f, 0x8000, 0, 0, 0},
    };
    for (const Row& r : rows) {
        SCOPED_TRACE(r.name);
        EXPECT_EQ(FF::signed_level(r.value), r.s);
        EXPECT_EQ(FF::unsigned_level(r.value), r.u);
        EXPECT_EQ(FF::factor(r.value), r.f);
        EXPECT_EQ(FF::byte_level(r.value), r.b);
    }
    EXPECT_EQ(FF::header(0x1F, 9, 1), 0x9F);
    EXPECT_EQ(FF::header(0x02, 0x03, 2), 0x32) << "only bit 0 of the flag";
}

TEST(ForceFeedback, BlocksRepliesAndNullSlots)
{
    auto dev = std::make_shared<FakeDevice>();
    dev->answer = [](const B& c) { return FakeDevice::reply_to(c, {0x21, 0, 0}); };
    auto ff = make<IFeature8123ForceFeedback>(0x8123, dev);
    std::uint32_t slot = 0x0105;
    ASSERT_TRUE(ff->DownloadForceA(&slot, 1, 2, 0, 0x1112, 0x1314, -1.0f, 0.5f, 0x1516, 1.0f, 0x1718));
    EXPECT_EQ(slot, 0x21u);
    ASSERT_TRUE(ff->DownloadForceC(&slot, 1, 0, 1, 1, 2, 2.0f, -2.0f, 0.0f, 1.0f, -1.0f, -0.5f));
    ASSERT_TRUE(ff->DownloadForceD(&slot, 0, 0, 0, 1, 2, 1.0f, -1.0f, 1.0f, 0x0304, 0.0f, 0x0506));
    const auto log = dev->log();
    ASSERT_EQ(log.size(), 3u);
    EXPECT_EQ(params_of(log[0].command),
              (B{0x05, 0x21, 0x11, 0x12, 0x13, 0x14, 0x80, 0x01, 0x7F, 0x15, 0x16, 0xFF, 0x17, 0x18, 0, 0}));
    EXPECT_EQ(params_of(log[1].command),
              (B{0x21, 0x81, 0, 1, 0, 2, 0xFF, 0xFE, 0x80, 0x00, 0, 0, 0x7F, 0xFF, 0x80, 0x01, 0, 0}));
    EXPECT_EQ(params_of(log[2].command),
              (B{0x21, 0x00, 0, 1, 0, 2, 0x7F, 0xFF, 0x80, 0x01, 0xFF, 0x03, 0x04, 0x00, 0x05, 0x06, 0, 0}));
    EXPECT_EQ(log[1].command[0], 0x11) << "frames over 20 bytes keep the long report id";

    dev->clear_log();
    set_last_error(77, 0, nullptr);
    EXPECT_FALSE(ff->DownloadForceB(nullptr, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0));
    EXPECT_EQ(last_error().code, 77u);
    EXPECT_TRUE(dev->log().empty());

    float a = 0, b = 0;
    dev->answer = [](const B& c) { return FakeDevice::reply_to(c, {0xFF, 0xFF, 0x80, 0x00}); };
    ASSERT_TRUE(ff->GetForceFactors(&a, &b));
    EXPECT_FLOAT_EQ(a, 1.0f);
    EXPECT_NEAR(b, 0.50001f, 1e-5);
    ASSERT_TRUE(ff->SetForceSetting(0x12345));
    EXPECT_EQ(params_of(dev->log().back().command), (B{0x23, 0x45}));
}

// ---------------------------------------------------------------- attachments

TEST(GamingAttachments, ListsDecodeOrEmpty)
{
    using L = std::vector<long long>;
    struct Row {
        const char* name;
        B payload;
        L list;
        ErrorCode code;
    };
    const Row rows[] = {
        {"two", {2, 1, 4}, {1, 4}, 0},
        {"identifier 5", {2, 1, 5}, {}, 46},
        {"identifier 0", {1, 0}, {}, 46},
        {"count past the payload", {3, 1, 2}, {}, 2},
        {"none", {0}, {}, 0},
        {"empty", {}, {}, 2},
        {"bytes after the list ignored", {1, 3, 9, 9}, {3}, 0},
    };
    for (const Row& r : rows) {
        SCOPED_TRACE(r.name);
        set_last_error(0, 0, nullptr);
        const auto list = Feature8120GamingAttachments::decode_list(r.payload);
        EXPECT_EQ(L(list.begin(), list.end()), r.list);
        EXPECT_EQ(last_error().code, r.code);
    }
}

// ---------------------------------------------------------------- RGB effect record

TEST(RgbEffects, EffectDetailsFromSevenPages)
{
    auto dev = std::make_shared<FakeDevice>();
    dev->answer = [](const B& c) {
        B page(16);
        for (std::size_t k = 0; k < 16; ++k)
            page[k] = static_cast<Byte>(0x10 * c[8] + k); // page number in the high nibble
        return FakeDevice::reply_to(c, page);
    };
    auto rgb = make<IFeature8071RGBEffects>(0x8071, dev);
    IFeature8071RGBEffects::EffectDetails d;
    d.bytes.fill(0xEE);
    d.bytes[0] = 0x0A;
    d.bytes[1] = 0x0B;
    ASSERT_TRUE(rgb->GetEffectDetails(d));
    const auto log = dev->log();
    ASSERT_EQ(log.size(), 7u);
    EXPECT_EQ(params_of(log[6].command), (B{0xFF, 0x0A, 0x01, 0x0B, 6}));
    EXPECT_EQ(d.bytes[2], 0x05);
    EXPECT_EQ(d.bytes[3], 0xEE) << "not written";
    EXPECT_EQ(d.bytes[4], 0x06);
    EXPECT_EQ(d.bytes[7], 0x09);
    EXPECT_EQ(d.bytes[8], 0x15);
    EXPECT_EQ(d.bytes[14], 0x1B);
    EXPECT_EQ(d.bytes[15], 0x25);
    EXPECT_EQ(d.bytes[25], 0x2F);
    EXPECT_EQ(d.bytes[26], 0x35);
    EXPECT_EQ(d.bytes[30], 0x39) << "reply 3 byte 10 is not kept";
    EXPECT_EQ(d.bytes[31], 0x45);
    EXPECT_EQ(d.bytes[42], 0x55);
    EXPECT_EQ(d.bytes[63], 0x6F);

    // The fourth page fails: false, the record untouched, no fifth page.
    int pages = 0;
    dev->answer = [&pages](const B& c) -> std::optional<B> {
        if (++pages == 4)
            return std::nullopt;
        return FakeDevice::reply_to(c, B(16, 1));
    };
    dev->clear_log();
    const auto before = d.bytes;
    EXPECT_FALSE(rgb->GetEffectDetails(d));
    EXPECT_EQ(dev->log().size(), 4u);
    EXPECT_EQ(d.bytes, before);
}

// ---------------------------------------------------------------- per-key colour blocks

TEST(PerKeyLighting8081, BlocksRefuseWhatDoesNotFitInEveryForm)
{
    using I = IFeature8081PerKeyLighting;
    auto dev = std::make_shared<FakeDevice>();
    dev->answer = [](const B& c) { return FakeDevice::reply_to(c, params_of(c)); };
    auto keys = make<I>(0x8081, dev);

    const std::vector<I::RgbZone> five(5);
    const I::ConsecutiveRgbZones sixTriples{1, std::vector<I::RgbTriple>(6)};
    const std::vector<I::RgbRange> fourRanges(4);
    const I::RgbZonesSingleValue fourteenIds{1, 2, 3, B(14, 1)};
    struct Row {
        const char* name;
        std::function<bool()> sync;
        std::function<std::shared_ptr<IRequest>()> async;
        std::function<bool(B&)> build;
    };
    const Row rows[] = {
        {"five zones", [&] { return keys->SetIndividualRgbZones(five); },
         [&] { return keys->SetIndividualRgbZones_Async(five); },
         [&](B& b) { return keys->BuildIndividualRgbZonesReport(b, five); }},
        {"six triples", [&] { return keys->SetConsecutiveRgbZones(sixTriples); },
         [&] { return keys->SetConsecutiveRgbZones_Async(sixTriples); },
         [&](B& b) { return keys->BuildConsecutiveRgbZonesReport(b, sixTriples); }},
        {"six triples, 4-bit", [&] { return keys->SetConsecutiveRgbZonesDeltaCompression_4bit(sixTriples); },
         [&] { return keys->SetConsecutiveRgbZonesDeltaCompression_4bit_Async(sixTriples); },
         [&](B& b) { return keys->BuildDeltaCompression4bitReport(b, sixTriples); }},
        {"four ranges", [&] { return keys->SetRangeRgbZones(fourRanges); },
         [&] { return keys->SetRangeRgbZones_Async(fourRanges); },
         [&](B& b) { return keys->BuildRangeRgbZonesReport(b, fourRanges); }},
        {"fourteen zone ids", [&] { return keys->SetRgbZonesSingleValue(fourteenIds); },
         [&] { return keys->SetRgbZonesSingleValue_Async(fourteenIds); },
         [&](B& b) { return keys->BuildRgbZonesSingleValueReport(b, fourteenIds); }},
    };
    for (const Row& r : rows) {
        SCOPED_TRACE(r.name);
        EXPECT_FALSE(r.sync());
        EXPECT_EQ(last_error().code, 46u);
        EXPECT_FALSE(r.async());
        EXPECT_EQ(last_error().code, 46u);
        B report{9, 9};
        EXPECT_FALSE(r.build(report));
        EXPECT_EQ(last_error().code, 46u);
        EXPECT_EQ(report, (B{9, 9})) << "untouched";
    }
    EXPECT_TRUE(dev->log().empty());

    // At the limits everything goes, as one long report each.
    EXPECT_TRUE(keys->SetIndividualRgbZones(std::vector<I::RgbZone>(4, I::RgbZone{3, 1, 2, 3})));
    EXPECT_TRUE(keys->SetConsecutiveRgbZones({1, std::vector<I::RgbTriple>(5)}));
    EXPECT_TRUE(keys->SetRangeRgbZones(std::vector<I::RgbRange>(3)));
    EXPECT_TRUE(keys->SetRgbZonesSingleValue({1, 2, 3, B(13, 4)}));
    for (const auto& sent : dev->log()) {
        EXPECT_EQ(sent.command.size(), 20u);
        EXPECT_EQ(sent.command[0], 0x11);
    }
}

TEST(PerKeyLighting8081, EchoChecks)
{
    using I = IFeature8081PerKeyLighting;
    auto dev = std::make_shared<FakeDevice>();
    B reply;
    dev->answer = [&reply](const B& c) { return FakeDevice::reply_to(c, reply); };
    auto keys = make<I>(0x8081, dev);
    struct Row {
        const char* name;
        B reply;
        std::function<bool()> call;
        ErrorCode code; // 0: succeeds
    };
    const Row rows[] = {
        {"zones echoed", B{7, 0, 0, 0, 0, 0, 0, 0}, [&] { return keys->SetIndividualRgbZones({{7, 1, 2, 3}, {8, 1, 2, 3}}); }, 0},
        {"zones short", B{7, 0, 0, 0, 0, 0, 0}, [&] { return keys->SetIndividualRgbZones({{7, 1, 2, 3}, {8, 1, 2, 3}}); }, 2},
        {"zones other id", B{6, 0, 0, 0}, [&] { return keys->SetIndividualRgbZones({{7, 1, 2, 3}}); }, 78},
        {"zone 0xFF never compared", B{6, 0, 0, 0}, [&] { return keys->SetIndividualRgbZones({{0xFF, 1, 2, 3}}); }, 0},
        {"no zones", B{0, 0, 0}, [&] { return keys->SetIndividualRgbZones({}); }, 0},
        {"range 0xFF", B(10, 1), [&] {
             I::RgbRange r;
             r.bytes = {0xFF, 1, 2, 3, 4};
             return keys->SetRangeRgbZones({r, r});
         }, 0},
        {"ranges short", B(9, 1), [&] { return keys->SetRangeRgbZones(std::vector<I::RgbRange>(2)); }, 2},
        {"single value echo at byte 3", B{0, 0, 0, 9}, [&] { return keys->SetRgbZonesSingleValue({1, 2, 3, {9}}); }, 0},
        {"single value other id", B{0, 0, 0, 8}, [&] { return keys->SetRgbZonesSingleValue({1, 2, 3, {9}}); }, 78},
        {"single value, no ids", B{0, 0, 0}, [&] { return keys->SetRgbZonesSingleValue({1, 2, 3, {}}); }, 0},
        {"5-bit echo", B(16, 4), [&] {
             I::Block b{};
             b[0] = 4;
             return keys->SetConsecutiveRgbZonesDeltaCompression_5bit(b);
         }, 0},
        {"4-bit short reply", B{4, 0, 0}, [&] { return keys->SetConsecutiveRgbZonesDeltaCompression_4bit({4, {}}); }, 78},
    };
    for (const Row& r : rows) {
        SCOPED_TRACE(r.name);
        reply = r.reply;
        set_last_error(0, 0, nullptr);
        EXPECT_EQ(r.call(), r.code == 0);
        EXPECT_EQ(last_error().code, r.code);
    }
    I::Block info{};
    info[0] = 1;
    info[1] = 2;
    reply = B(15, 5);
    EXPECT_FALSE(keys->GetInfo(info));
    EXPECT_EQ(info[2], 0) << "unchanged";
    reply = B(16, 5);
    ASSERT_TRUE(keys->GetInfo(info));
    EXPECT_EQ(info[0], 5);
    EXPECT_EQ(params_of(dev->log().back().command), (B{1, 2}));
}

} // namespace
