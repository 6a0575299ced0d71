// Deferred-write cases of button swap cancel, Fn inversion 0x40A2 and key disabling 0x4521.
#include "DeferredWrites.h"

#include "features/Feature4521DisableKeys.h"
#include "features/IFeature2005ButtonSwapCancel.h"
#include "features/IFeature40A2FnInversion.h"

#include <gtest/gtest.h>

namespace devio::test {
namespace {

using Bytes = std::vector<Byte>;

const DeferredCases cases9({
    {"2005 SetButtonSwapCancel", 0x2005,
     [](IFeature& f, int n) {
         return dynamic_cast<IFeature2005ButtonSwapCancel&>(f).SetButtonSwapCancel(static_cast<std::uint8_t>(n));
     },
     [](int n) { return Wire{1, {static_cast<Byte>(n)}}; }},
    {"40A2 SetFnInversion", 0x40A2,
     [](IFeature& f, int n) { return dynamic_cast<IFeature40A2FnInversion&>(f).SetFnInversion(n % 2 != 0); },
     [](int n) { return Wire{1, {static_cast<Byte>(n % 2)}}; }, 2},
    // Write n sets the flags of n's low five bits, first flag from bit 4.
    {"4521 SetDisabledKeys", 0x4521,
     [](IFeature& f, int n) {
         return dynamic_cast<IFeature4521DisableKeys&>(f).SetDisabledKeys(n & 0x10, n & 0x08, n & 0x04, n & 0x02,
                                                                            n & 0x01);
     },
     [](int n) { return Wire{2, {static_cast<Byte>(n & 0x1F)}}; }, 32},
});

// A re-apply that the device refuses again (code 5) keeps the records once: the re-apply sends
// them itself instead of going through the write that would keep each a second time.
TEST(PointerKeyboardDeferredWrites, KeyDisablingReappliedWhileRefusedKeepsNoDuplicate)
{
    auto dev = std::make_shared<FakeDevice>();
    dev->software_id = kGoldenSoftwareId;
    auto feature = std::dynamic_pointer_cast<Feature4521DisableKeys>(make_feature(0x4521, kGoldenIndex, dev));
    ASSERT_TRUE(feature);
    dev->unanswered_code = 5;
    ASSERT_TRUE(feature->SetDisabledKeys(true, false, false, false, false));
    ASSERT_TRUE(feature->SetDisabledKeys(false, false, false, false, true));
    EXPECT_FALSE(feature->reapply());
    EXPECT_FALSE(feature->reapply());
    EXPECT_EQ(feature->pending(), (std::vector<Feature4521DisableKeys::Record>{{1, 0, 0, 0, 0}, {0, 0, 0, 0, 1}}));
    dev->answer = [](const Bytes& c) { return FakeDevice::reply_to(c, {0, 0, 0}); };
    dev->clear_log();
    EXPECT_TRUE(feature->reapply());
    ASSERT_EQ(dev->log().size(), 2u);
    EXPECT_EQ(dev->log()[0].command, golden_command({2, {0x10}}));
    EXPECT_EQ(dev->log()[1].command, golden_command({2, {0x01}}));
    EXPECT_TRUE(feature->pending().empty());
}

} // namespace
} // namespace devio::test
