// Chained firmware operations on a real device, left to run on the run-loop host thread (nobody
// waits on them), and while the device's last owner lets go mid-chain.
#include "devio/device/DeviceTestSupport.h"

#include "core/DataRequest.h"
#include "features/IFeature0003FirmwareInfo.h"

using namespace devio;
using namespace devio::test;

namespace {

// Polls without waiting on the request, so its continuations run where the device puts them.
template <class T>
bool completes(const std::shared_ptr<IDataRequest<T>>& request)
{
    const auto until = std::chrono::steady_clock::now() + 20s;
    while (!request->request()->is_complete()) {
        if (std::chrono::steady_clock::now() > until)
            return false;
        std::this_thread::sleep_for(1ms);
    }
    return true;
}

std::shared_ptr<IFeature0003FirmwareInfo> firmware_of(Rig& rig)
{
    return std::dynamic_pointer_cast<IFeature0003FirmwareInfo>(rig.device->getFeatureSync(0x0003));
}

TEST(FeatureChainsOnDevice, FirmwareChainsFinishOnTheRunLoopThread)
{
    ScaledTiming timing;
    auto config = platform::sim::sim_keyboard_config();
    config.firmware[0].active = false;
    config.firmware[2].active = true;
    Rig rig(config);
    auto fw = firmware_of(rig);
    ASSERT_TRUE(fw);

    auto text = fw->GetFwInfoString();
    // The formatted version asks its entities with blocking requests from inside its step.
    auto dotted = fw->GetFwFormattedVersion();
    ASSERT_TRUE(completes(text));
    ASSERT_TRUE(completes(dotted));
    IFeature0003FirmwareInfo::GetFwInfoStringResponse info;
    ASSERT_TRUE(text->get(info));
    EXPECT_EQ(info.entity, 2u);
    IFeature0003FirmwareInfo::GetFwFormattedVersionResponse version;
    ASSERT_TRUE(dotted->get(version));
    EXPECT_EQ(version.text, "1.2.33");
}

TEST(FeatureChainsOnDevice, DeviceReleasedMidChainEndsItAndFreesTheFeature)
{
    ScaledTiming timing;
    for (int round = 0; round < 20; ++round) {
        Rig rig;
        auto fw = firmware_of(rig);
        ASSERT_TRUE(fw);
        std::weak_ptr<IFeature0003FirmwareInfo> watchFeature = fw;
        std::weak_ptr<Device> watchDevice = rig.device;

        auto chained = fw->GetFwInfoString();
        fw.reset();
        rig.device.reset(); // at any point of the walk
        // Either the walk got through first, or it fails with a code; it never hangs.
        IFeature0003FirmwareInfo::GetFwInfoStringResponse info;
        if (!chained->get(info)) {
            EXPECT_NE(last_error().code, 0u);
        }
        chained.reset();
        // Neither the device nor its feature outlives the chain.
        const auto until = std::chrono::steady_clock::now() + 10s;
        while ((!watchDevice.expired() || !watchFeature.expired()) && std::chrono::steady_clock::now() < until)
            std::this_thread::sleep_for(1ms);
        EXPECT_TRUE(watchDevice.expired());
        EXPECT_TRUE(watchFeature.expired());
    }
}

TEST(FeatureChainsOnDevice, ChainNobodyWaitsForEndsWhenTheDeviceGoes)
{
    // Only the run loop moves the chain: a request the worker had taken off the queue when the
    // device went must still end, or the chain stays open for good.
    ScaledTiming timing;
    for (int round = 0; round < 20; ++round) {
        Rig rig;
        auto fw = firmware_of(rig);
        ASSERT_TRUE(fw);
        auto chained = fw->GetFwInfoString();
        auto request = chained->request();
        fw.reset();
        rig.device.reset();
        const auto until = std::chrono::steady_clock::now() + 10s;
        while (!request->is_complete() && std::chrono::steady_clock::now() < until)
            std::this_thread::sleep_for(1ms);
        EXPECT_TRUE(request->is_complete()) << "round " << round;
    }
}

} // namespace
