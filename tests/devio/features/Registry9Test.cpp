// Every pointer, keyboard and gesture feature id is registered and creates its own class,
// reachable through its interface and through no other family's.
#include "FakeDevice.h"

#include "features/IFeature2005ButtonSwapCancel.h"
#include "features/IFeature2006PointerAxesOrientation.h"
#include "features/IFeature2110Sprocklin.h"
#include "features/IFeature2111SprocklinWithTunableTorque.h"
#include "features/IFeature2121HiResWheel.h"
#include "features/IFeature2130RatchetWheel.h"
#include "features/IFeature2150Thumbwheel.h"
#include "features/IFeature2201AdjustableDPI.h"
#include "features/IFeature2205PointerMotionScaling.h"
#include "features/IFeature2230AngleSnapping.h"
#include "features/IFeature2240SurfaceTuning.h"
#include "features/IFeature2250ActivityTracking.h"
#include "features/IFeature2400HybridTracking.h"
#include "features/IFeature40A0FnInversion.h"
#include "features/IFeature40A2FnInversion.h"
#include "features/IFeature40A3FnInversion.h"
#include "features/IFeature4220LockKeyState.h"
#include "features/IFeature4521DisableKeys.h"
#include "features/IFeature4522DKU.h"
#include "features/IFeature4530DualPlatform.h"
#include "features/IFeature4531MultiPlatform.h"
#include "features/IFeature4540KBLayout.h"
#include "features/IFeature4600Crown.h"
#include "features/IFeature6010Gestures.h"
#include "features/IFeature6012Gestures.h"
#include "features/IFeature6100TouchPadRawXY.h"
#include "features/IFeature6500Gestures.h"
#include "features/IFeature6501Gestures.h"
#include "features/IFeature9001TestPMW3816.h"

#include <gtest/gtest.h>

namespace devio::test {
namespace {

using Cast = bool (*)(const std::shared_ptr<IFeature>&);

template <class I>
bool is(const std::shared_ptr<IFeature>& f)
{
    return std::dynamic_pointer_cast<I>(f) != nullptr && I::FeatureId == f->feature_id();
}

TEST(Registry9, EveryIdCreatesItsOwnInterface)
{
    const std::vector<std::pair<std::uint32_t, Cast>> table = {
        {0x2005, &is<IFeature2005ButtonSwapCancel>}, {0x2006, &is<IFeature2006PointerAxesOrientation>},
        {0x2110, &is<IFeature2110Sprocklin>},        {0x2111, &is<IFeature2111SprocklinWithTunableTorque>},
        {0x2121, &is<IFeature2121HiResWheel>},       {0x2130, &is<IFeature2130RatchetWheel>},
        {0x2150, &is<IFeature2150Thumbwheel>},       {0x2201, &is<IFeature2201AdjustableDPI>},
        {0x2205, &is<IFeature2205PointerMotionScaling>}, {0x2230, &is<IFeature2230AngleSnapping>},
        {0x2240, &is<IFeature2240SurfaceTuning>},    {0x2250, &is<IFeature2250ActivityTracking>},
        {0x2400, &is<IFeature2400HybridTracking>},   {0x40A0, &is<IFeature40A0FnInversion>},
        {0x40A2, &is<IFeature40A2FnInversion>},      {0x40A3, &is<IFeature40A3FnInversion>},
        {0x4220, &is<IFeature4220LockKeyState>},     {0x4521, &is<IFeature4521DisableKeys>},
        {0x4522, &is<IFeature4522DKU>},              {0x4530, &is<IFeature4530DualPlatform>},
        {0x4531, &is<IFeature4531MultiPlatform>},    {0x4540, &is<IFeature4540KBLayout>},
        {0x4600, &is<IFeature4600Crown>},            {0x6010, &is<IFeature6010Gestures>},
        {0x6012, &is<IFeature6012Gestures>},         {0x6100, &is<IFeature6100TouchPadRawXY>},
        {0x6500, &is<IFeature6500Gestures>},         {0x6501, &is<IFeature6501Gestures>},
        {0x9001, &is<IFeature9001TestPMW3816>},
    };
    auto dev = std::make_shared<FakeDevice>();
    const auto registered = FeatureRegistry::registered();
    for (std::size_t i = 0; i < table.size(); ++i) {
        const auto [id, cast] = table[i];
        SCOPED_TRACE(std::to_string(id));
        EXPECT_EQ(registered.count(static_cast<std::int32_t>(id)), 1u);
        auto feature = make_feature(id, 5, dev);
        EXPECT_TRUE(cast(feature));
        // The neighbouring row's interface is not this class's.
        EXPECT_FALSE(table[(i + 1) % table.size()].second(feature));
    }
}

} // namespace
} // namespace devio::test
