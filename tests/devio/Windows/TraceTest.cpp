// Details of the HID write and of the paired device's pass-through that the broader tests
// do not pin down.
#include "ReceiverRig.h"

#include "Windows/Win32Bus.h"
#include "Windows/Win32Device.h"

#include <sim/DeviceTree.h>
#include <sim/Kernel.h>

#include <gtest/gtest.h>

#include <cstring>

namespace devio::test {
namespace {

class WriteRecord : public Subscriber<IHardwareDevice::Write> {
public:
    void onWrite(std::vector<Byte> data, ErrorCode code, unsigned detail) override
    {
        std::lock_guard<std::mutex> lock(mutex);
        events.push_back({std::move(data), code, detail});
    }
    struct Event {
        std::vector<Byte> data;
        ErrorCode code;
        unsigned detail;
    };
    std::mutex mutex;
    std::vector<Event> events;
};

TEST(HidWrite, AFailedOpenKeepsItsWholeErrorRecord)
{
    platform::sim::reset_machine();
    platform::sim::remove_all_dev_nodes();
    ScaledTiming timing{20};
    auto manager = HostManager::create();
    {
        auto bus = Win32Bus::create(manager);
        std::shared_ptr<IWin32System> system;
        bus->start(nullptr, &system);
        auto device = std::make_shared<Win32Device>(bus, system, "\\\\?\\hid#nothing#here", 0);
        WriteRecord record;
        ASSERT_TRUE(record.subscribe(std::static_pointer_cast<Producer<IHardwareDevice::Write>>(device), 1, ""));

        EXPECT_FALSE(device->write({0x10, 0xFF, 0, 0}, false));
        EXPECT_EQ(last_error().code, 33u);
        ASSERT_NE(last_error_record().text, nullptr);
        EXPECT_STREQ(last_error_record().text, "CreateFile failed");
        ASSERT_EQ(record.events.size(), 1u);
        EXPECT_TRUE(record.events[0].data.empty());
        EXPECT_EQ(record.events[0].code, 33u);
    }
    manager->shutdown();
}

// The receiver's hardware device, recording what reaches its pass-through.
class PassThroughHardware : public LoopbackHardware {
public:
    using LoopbackHardware::LoopbackHardware;
    std::uint64_t receiverPassThrough(std::uintptr_t a, std::uintptr_t b, std::uintptr_t c) override
    {
        args[0] = a;
        args[1] = b;
        args[2] = c;
        return 0x1234567890ULL;
    }
    std::uintptr_t args[3] = {0, 0, 0};
};

TEST(PairedDevice, PassThroughHandsItsArgumentsOnWhole)
{
    ScaledTiming timing{20};
    platform::sim::SimReceiver receiver{0xC510, 0x1A2B3C4D};
    auto manager = HostManager::create();
    auto gone = std::make_shared<std::atomic<bool>>(false);
    {
        auto hardware = std::make_shared<PassThroughHardware>(receiver, manager, gone);
        auto bus = RavelinBus::create(manager, hardware, 6, manager->config());
        bus->initDevice(manager);
        auto paired = RavelinDevice::create(bus, 1, 0x4001, true);

        // Pointer-sized values: a handle or address must not lose its upper half on the way.
        int object = 0;
        const auto pointer = reinterpret_cast<std::uintptr_t>(&object);
        const std::uintptr_t wide = (std::uintptr_t(0xABCD) << 32) | 0x10;
        EXPECT_EQ(paired->receiverPassThrough(pointer, wide, 7), 0x1234567890ULL);
        EXPECT_EQ(hardware->args[0], pointer);
        EXPECT_EQ(hardware->args[1], wide);
        EXPECT_EQ(hardware->args[2], 7u);
        bus->close();
    }
    // The receiver's worker may let go of the hardware a moment later; the model must outlive it.
    EXPECT_TRUE(eventually([&] { return gone->load(); }));
    manager->shutdown();
}

} // namespace
} // namespace devio::test
