// A simulated keyboard on USB and one behind a simulated receiver reach the application's
// facade (the real platform bus, combiner, receiver bus and devices) and answer a feature
// request; unplugging them reaches it as removals.
#include "ManagerTestSupport.h"

#include "core/CDevio.h"
#include "core/Subscriber.h"
#include "core/Timing.h"
#include "device/IDevice.h"
#include "devices/SimHidDevice.h"
#include "devices/SimHidReceiver.h"
#include "quillon/ProductIds.h"

#include <sim/DeviceTree.h>
#include <sim/Kernel.h>

#include <gtest/gtest.h>

#include <condition_variable>
#include <mutex>
#include <thread>

namespace devio::test {
namespace {

TEST(EndToEnd, KeyboardsOnUsbAndBehindAReceiverReachTheFacadeAndAnswerFeatureRequests)
{
    platform::sim::reset_machine();
    Timing::setScale(1, 20);
    const auto usbIds = quillon::ids::kKeyboardA;
    const auto pairedIds = quillon::ids::kKeyboardB;

    auto config = platform::sim::sim_keyboard_config();
    config.product_id = usbIds.productId;
    platform::sim::SimHidProtocolDevice usbKeyboard(config);
    platform::sim::SimHidReceiver receiver(quillon::ids::kMiraReceiver[0], 0x1A2B3C4D);
    auto paired = platform::sim::sim_keyboard_config();
    paired.product_id = pairedIds.productId;
    paired.name = "Paired Board";
    ASSERT_NE(receiver.pair(1, paired), nullptr);

    FacadeSession session;
    ASSERT_TRUE(session.open({ConfigReceivers, ConfigUsbHid}));
    usbKeyboard.plug();
    receiver.plug();

    auto onUsb = session.changes.wait_for(Changes::key("+", TransportUsbHid, usbIds.productId));
    auto behind = session.changes.wait_for(Changes::key("+", TransportReceiver, pairedIds.productId));
    EXPECT_TRUE(onUsb);
    EXPECT_TRUE(behind);
    if (onUsb) {
        EXPECT_GT(onUsb->getFeatureCountSync(), 0u);
    }
    if (behind) {
        EXPECT_GT(behind->getFeatureCountSync(), 0u);
        EXPECT_EQ(behind->getDeviceIndex(), 1u);
        EXPECT_EQ(behind->getName(), "Paired Board");
    }

    // Unplugged, each reaches the application as a removal.
    usbKeyboard.unplug();
    receiver.unpair(1);
    EXPECT_TRUE(session.changes.wait_for(Changes::key("-", TransportUsbHid, usbIds.productId)));
    EXPECT_TRUE(session.changes.wait_for(Changes::key("-", TransportReceiver, pairedIds.productId)));

    onUsb.reset();
    behind.reset();
    session.close();
}

} // namespace
} // namespace devio::test
