// The provider over both real stacks, the engine included, on the default scenario: the
// catalogue's own images update the receiver through the engine and the two-image keyboard
// behind it through the protocol adapter. Each case runs in a process of its own (the engine
// starts once per process).
#include "AppTestSupport.h"
#include "FirmwareCatalogue.h"
#include "cDFUDeviceProvider.h"

#include "core/Timing.h"

#include <sim/DeviceTree.h>
#include <sim/Kernel.h>
#include <sim/Scenario.h>

#include <gtest/gtest.h>

#include <fstream>
#include <optional>
#include <sstream>

namespace app::test {
namespace {

std::vector<char> resource(const char* path)
{
    const std::string name = std::string(path).substr(std::string(":/firmware/").size());
    std::ifstream in(std::string(QUILLON_FIRMWARE_DIR) + "/" + name, std::ios::binary);
    return std::vector<char>(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

class DefaultScenario : public ::testing::Test {
protected:
    void SetUp() override
    {
        platform::sim::reset_machine();
        devio::Timing::setScale(1, 10);
        m_scenario.emplace(platform::sim::Scenario::from_file(QUILLON_DEFAULT_SCENARIO));
        m_scenario->plug();
        registration.set(&EventLog::callback, &log);
        provider = std::make_unique<cDFUDeviceProvider>(realQVEngine(), registration);
        provider->start();
        ASSERT_TRUE(log.wait_for_event(0, DFU_EVENT_ENUMERATION_COMPLETE, 0));
    }
    void TearDown() override
    {
        provider.reset();
        registration.set(nullptr, nullptr);
        m_scenario.reset();
        platform::sim::remove_all_dev_nodes();
        devio::Timing::reset();
    }
    DFU_DEVICE arrival(std::uint32_t productId, std::uint32_t connectionKind, const char* version = nullptr)
    {
        return log.wait_for_arrival([&](DFU_DEVICE d) {
            DFU_DEVICE_INFO info{};
            auto adapter = provider->findDevice(d);
            if (!adapter || adapter->getInfo(&info) != DFU_OK)
                return false;
            return info.productId == productId && info.connectionKind == connectionKind &&
                   (!version || std::string(info.version) == version);
        });
    }
    DFU_DEVICE_INFO info(DFU_DEVICE d)
    {
        DFU_DEVICE_INFO out{};
        if (auto adapter = provider->findDevice(d))
            adapter->getInfo(&out);
        return out;
    }

    EventLog log;
    DfuCallbackRegistration registration;
    std::unique_ptr<cDFUDeviceProvider> provider;

private:
    std::optional<platform::sim::Scenario> m_scenario;
};

TEST_F(DefaultScenario, TheReceiverTakesItsCatalogueImageThroughTheEngine)
{
    const DFU_DEVICE receiver = arrival(0xC520, DFU_CONNECTION_USB);
    ASSERT_NE(receiver, 0u);
    const DFU_DEVICE_INFO before = info(receiver);
    auto adapter = provider->findDevice(receiver);
    DFU_DEVICE_ENTRY bootloader{};
    ASSERT_EQ(adapter->getEntry(1, &bootloader), DFU_OK);
    EXPECT_STREQ(bootloader.prefix, "BL");
    // The row built for this receiver's firmware and bootloader.
    const ReceiverFirmwareEntry* row = nullptr;
    for (const auto& r : receiverFirmwareTable())
        if (r.receiverProductId == before.productId && r.bootloader.revision == bootloader.version && !row)
            row = &r;
    ASSERT_NE(row, nullptr);
    EXPECT_FALSE(isVersionUpToDate(before.version, row->firmware)) << before.version;

    const auto image = resource(row->hexPath);
    const auto signature = resource(row->signaturePath);
    ASSERT_FALSE(image.empty());
    ASSERT_EQ(signature.size(), 256u);
    ASSERT_EQ(adapter->startReceiverUpdate(image.data(), static_cast<int>(image.size()), signature.data(),
                                           static_cast<int>(signature.size())),
              DFU_OK);
    adapter.reset();
    ASSERT_TRUE(log.wait_for_event(receiver, DFU_EVENT_STATUS, DFU_STATUS_SUCCEEDED, 60s));
    ASSERT_TRUE(log.wait_for_event(receiver, DFU_EVENT_DEVICE_REMOVAL, 0, 60s));
    // It comes back as a new adapter, up to date.
    const DFU_DEVICE back = log.wait_for_arrival([&](DFU_DEVICE d) {
        DFU_DEVICE_INFO i = info(d);
        return d != receiver && i.productId == 0xC520 && isVersionUpToDate(i.version, row->firmware);
    });
    EXPECT_NE(back, 0u);
}

TEST_F(DefaultScenario, TheKeyboardBehindTheReceiverTakesBothImages)
{
    const DFU_DEVICE keyboard = arrival(0x4001, DFU_CONNECTION_RECEIVER);
    ASSERT_NE(keyboard, 0u);
    const DFU_DEVICE mouse = arrival(0x4010, DFU_CONNECTION_USB);
    ASSERT_NE(mouse, 0u);
    const auto& devices = deviceFirmwareTable();
    const DeviceFirmwareEntry* row = matchDeviceOnArrival(devices.data(), devices.size(), 0x4001);
    ASSERT_NE(row, nullptr);
    EXPECT_FALSE(isVersionUpToDate(info(keyboard).version, row->version));
    const DeviceFirmwareEntry* mouseRow = matchDeviceOnArrival(devices.data(), devices.size(), 0x4010);
    ASSERT_NE(mouseRow, nullptr);
    EXPECT_TRUE(isVersionUpToDate(info(mouse).version, mouseRow->version)) << info(mouse).version;

    const auto main = resource(row->imagePath);
    const auto second = resource(row->secondImagePath);
    auto adapter = provider->findDevice(keyboard);
    ASSERT_EQ(adapter->startUpdate(main.data(), static_cast<int>(main.size()), second.data(),
                                   static_cast<int>(second.size()), false),
              DFU_OK);
    adapter.reset();
    ASSERT_TRUE(log.wait_for_event(keyboard, DFU_EVENT_STATUS, DFU_STATUS_SUCCEEDED, 60s));
    const auto progress = log.progress(keyboard);
    EXPECT_NE(std::find(progress.begin(), progress.end(), 25), progress.end());
    // Once it is back in its application, it shows the catalogue's version.
    auto connected = [&](const DfuEvent& e) { return e.device == keyboard && e.event == DFU_EVENT_CONNECTED; };
    bool updated = false;
    for (std::size_t n = 1; n <= 8 && !updated && log.wait_for_count(connected, n, 30s); ++n)
        updated = isVersionUpToDate(info(keyboard).version, row->version);
    EXPECT_TRUE(updated) << info(keyboard).version;
}

} // namespace
} // namespace app::test
