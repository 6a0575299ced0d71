#include "FakeDevice.h"

#include "features/Feature.h"
#include "features/FeatureRegistry.h"
#include "features/IFeature0000Root.h"
#include "features/IFeature0001FeatureSet.h"
#include "features/IFeature0003FirmwareInfo.h"
#include "features/IFeature0005DeviceNameType.h"
#include "features/IFeature0007DeviceFriendlyName.h"
#include "features/IFeature0008SwitchAndKeepAlive.h"
#include "features/IFeature0020ConfigChange.h"
#include "features/IFeature0021CryptoIdentifier.h"
#include "features/IFeature00c0DFUControl.h"
#include "features/IFeature00c1DFUControl.h"
#include "features/IFeature00c2DFUControl.h"
#include "features/IFeature00d0DFU.h"
#include "features/IFeature1000BatteryUnifiedLevelStatus.h"
#include "features/IFeature1D4BWirelessStatus.h"

#include <gtest/gtest.h>

#include <thread>
#include <typeinfo>

using namespace devio;
using devio::test::FakeDevice;

namespace {

template <class I>
bool is(const std::shared_ptr<IFeature>& f)
{
    return std::dynamic_pointer_cast<I>(f) != nullptr;
}

// Each core id must make an object of its own interface, reachable from IFeature by cast.
bool has_interface(std::uint32_t id, const std::shared_ptr<IFeature>& f)
{
    switch (id) {
    case 0x0000: return is<IFeature0000Root>(f);
    case 0x0001: return is<IFeature0001FeatureSet>(f);
    case 0x0003: return is<IFeature0003FirmwareInfo>(f);
    case 0x0005: return is<IFeature0005DeviceNameType>(f);
    case 0x0007: return is<IFeature0007DeviceFriendlyName>(f);
    case 0x0008: return is<IFeature0008SwitchAndKeepAlive>(f);
    case 0x0020: return is<IFeature0020ConfigChange>(f);
    case 0x0021: return is<IFeature0021CryptoIdentifier>(f);
    case 0x00C0: return is<IFeature00c0DFUControl>(f);
    case 0x00C1: return is<IFeature00c1DFUControl>(f);
    case 0x00C2: return is<IFeature00c2DFUControl>(f);
    case 0x00D0: return is<IFeature00d0DFU>(f);
    case 0x1000: return is<IFeature1000BatteryUnifiedLevelStatus>(f);
    case 0x1D4B: return is<IFeature1D4BWirelessStatus>(f);
    default: return true; // families: checked by their own suites
    }
}

TEST(FeatureRegistry, EveryRegisteredIdCreatesItsOwnClass)
{
    auto dev = std::make_shared<FakeDevice>();
    const auto registered = FeatureRegistry::registered();
    for (std::uint32_t id : {0x0000u, 0x0001u, 0x0003u, 0x0005u, 0x0007u, 0x0008u, 0x0020u, 0x0021u, 0x00C0u,
                             0x00C1u, 0x00C2u, 0x00D0u, 0x1000u, 0x1D4Bu})
        EXPECT_EQ(registered.count(static_cast<std::int32_t>(id)), 1u) << std::hex << id;

    for (const auto& entry : registered) {
        const auto id = static_cast<std::uint32_t>(entry.first);
        auto feature = make_feature(id, 9, dev);
        ASSERT_NE(feature, nullptr);
        EXPECT_EQ(feature->feature_id(), id);
        EXPECT_EQ(feature->feature_index(), 9);
        EXPECT_NE(typeid(*feature), typeid(Feature)) << std::hex << id; // a class of its own
        EXPECT_TRUE(has_interface(id, feature)) << std::hex << id;
        // One IFeature only: the base and the family interface agree on the object.
        EXPECT_EQ(feature->self().get(), std::dynamic_pointer_cast<Feature>(feature).get());
    }
}

TEST(FeatureRegistry, UnknownIdsMakePlainFeaturesAndKeepANullEntry)
{
    auto dev = std::make_shared<FakeDevice>();
    set_last_error(0, 0, nullptr);
    EXPECT_EQ(FeatureRegistry::create(0x1234, 7, dev), nullptr);
    EXPECT_EQ(last_error().code, 0u);
    {
        std::lock_guard<std::recursive_mutex> lock(FeatureRegistry::mutex());
        auto& map = FeatureRegistry::instance();
        ASSERT_EQ(map.count(0x1234), 1u);
        EXPECT_EQ(map[0x1234], nullptr);
    }
    auto a = make_feature(0x1234, 7, dev);
    auto b = make_feature(0x1234, 7, dev);
    ASSERT_NE(a, nullptr);
    EXPECT_NE(a, b);
    EXPECT_EQ(typeid(*a), typeid(Feature));
    EXPECT_EQ(a->feature_id(), 0x1234u);
    EXPECT_EQ(a->feature_index(), 7);
    EXPECT_FALSE(is<IFeature0000Root>(a));
}

std::shared_ptr<IFeature> other_creator(std::uint8_t, std::weak_ptr<IDevice>) { return {}; }

TEST(FeatureRegistry, ASecondRegistrationKeepsTheFirstCreator)
{
    FeatureRegistry::ensure_registered();
    FeatureRegistry::add(0x0005, &other_creator);
    auto feature = make_feature(0x0005, 3, std::weak_ptr<IDevice>());
    ASSERT_TRUE(is<IFeature0005DeviceNameType>(feature));
    // Made for a device that is gone: it exists, and its first operation fails with 28.
    std::uint32_t count = 0;
    EXPECT_FALSE(std::dynamic_pointer_cast<IFeature0005DeviceNameType>(feature)->GetCount(&count));
    EXPECT_EQ(last_error().code, 28u);
}

TEST(FeatureRegistry, ConcurrentLookupsOfNewIds)
{
    std::vector<std::thread> threads;
    for (int t = 0; t < 4; ++t)
        threads.emplace_back([t] {
            for (std::uint32_t id = 0x7000; id < 0x7100; ++id)
                EXPECT_NE(make_feature(id + t, 1, std::weak_ptr<IDevice>()), nullptr);
        });
    for (auto& thread : threads)
        thread.join();
}

} // namespace
