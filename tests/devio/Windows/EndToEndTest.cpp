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

    CDevio& facade = CDevio::instance();
    ASSERT_TRUE(facade.setConfig(ConfigReceivers, true));
    ASSERT_TRUE(facade.setConfig(ConfigUsbHid, true));
    auto manager = facade.get_or_create_manager();
    ASSERT_TRUE(manager);
    LoopHost host(manager);
    ASSERT_TRUE(host.subscribed());
    Changes changes;
    // The first subscriber starts the buses; the devices arrive after it.
    ASSERT_TRUE(changes.subscribe(std::static_pointer_cast<Producer<IDeviceManager::ArrivalRemoval>>(manager), 0, ""));
    usbKeyboard.plug();
    receiver.plug();

    auto onUsb = changes.wait_for(Changes::key("+", TransportUsbHid, usbIds.productId));
    auto behind = changes.wait_for(Changes::key("+", TransportReceiver, pairedIds.productId));
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
    EXPECT_TRUE(changes.wait_for(Changes::key("-", TransportUsbHid, usbIds.productId)));
    EXPECT_TRUE(changes.wait_for(Changes::key("-", TransportReceiver, pairedIds.productId)));

    onUsb.reset();
    behind.reset();
    close_facade(changes, host, manager);
}

} // namespace
} // namespace devio::test
