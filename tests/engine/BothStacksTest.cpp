// The application's two stacks on one receiver: the device framework and the engine both open its
// collections; each sees the receiver and its paired device, and requests of one do not pass for
// replies to the other.
#include "EngineTestSupport.h"

#include "devio/Windows/ManagerTestSupport.h"

#include "core/CDevio.h"
#include "devices/SimHidReceiver.h"
#include "quillon/ProductIds.h"

#include <gtest/gtest.h>
#include <sim/DeviceTree.h>

using namespace enginetest;

namespace {

TEST(BothStacksTest, FrameworkAndEngineShareAReceiver)
{
    fresh_machine();
    platform::sim::SimHidReceiver receiver(quillon::ids::kMiraReceiver[0], 0x1A2B3C4D);
    receiver.receiver().set_latency(std::chrono::milliseconds(2));
    auto paired = platform::sim::sim_keyboard_config();
    paired.product_id = quillon::ids::kKeyboardB.productId;
    paired.name = "Shared Board";
    ASSERT_NE(receiver.pair(1, paired), nullptr);

    devio::CDevio& facade = devio::CDevio::instance();
    ASSERT_TRUE(facade.setConfig(devio::ConfigReceivers, true));
    auto manager = facade.get_or_create_manager();
    ASSERT_TRUE(manager);
    devio::test::LoopHost loop(manager);
    devio::test::Changes changes;
    ASSERT_TRUE(changes.subscribe(
        std::static_pointer_cast<devio::Producer<devio::IDeviceManager::ArrivalRemoval>>(manager), 0, ""));

    EventLog log;
    {
        EngineHost engine(log);
        receiver.plug();
        auto behind = changes.wait_for(
            devio::test::Changes::key("+", devio::TransportReceiver, quillon::ids::kKeyboardB.productId));
        ASSERT_TRUE(behind);
        ASSERT_TRUE(log.wait_count(QV_EVENT_ENUMERATION_COMPLETE, 1));
        ASSERT_TRUE(log.wait_count(QV_EVENT_DEVICE_ARRIVAL, 2));
        std::uint64_t receiverHandle = 0, pairedHandle = 0;
        for (std::uint64_t h : log.arrivals())
            (info_of(h).DevType == 0 ? receiverHandle : pairedHandle) = h;
        EXPECT_EQ(text(info_of(pairedHandle).Name), "Shared Board");
        EXPECT_EQ(text(info_of(receiverHandle).FW), "RQR_012_001_00010");

        // Both keep working side by side.
        for (int i = 0; i < 5; ++i)
            EXPECT_GT(behind->getFeatureCountSync(), 0u);
        EXPECT_EQ(behind->getName(), "Shared Board");

        receiver.unplug();
        EXPECT_TRUE(log.wait_for(QV_EVENT_DEVICE_REMOVAL, receiverHandle, 0));
        EXPECT_TRUE(changes.wait_for(
            devio::test::Changes::key("-", devio::TransportReceiver, quillon::ids::kKeyboardB.productId)));
        behind.reset();
    }
    changes.unsubscribe(std::static_pointer_cast<devio::Producer<devio::IDeviceManager::ArrivalRemoval>>(manager));
    changes.clear();
    loop.stop();
    manager.reset();
    facade.close();
    platform::sim::remove_all_dev_nodes();
}

}  // namespace
