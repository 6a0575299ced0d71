// The DFU API entry points on the process's provider, with a scripted engine and a simulated
// keyboard: handle checks, zero-filled records, kinds of adapter, bad arguments.
#include "AppTestSupport.h"
#include "cDFUDeviceProvider.h"
#include "cQVDevice.h"

#include "core/Timing.h"
#include "devices/SimHidDevice.h"
#include "quillon/ProductIds.h"

#include <sim/DeviceTree.h>
#include <sim/Kernel.h>

#include <gtest/gtest.h>

#include <cstring>

namespace app::test {
namespace {

constexpr std::int64_t kReceiver = -0x20001;

// One process-wide provider for the whole suite, as in the program.
class DfuApi : public ::testing::Test {
protected:
    static void SetUpTestSuite()
    {
        platform::sim::reset_machine();
        devio::Timing::setScale(1, 20);
        s_engine = std::make_shared<EngineDouble>();
        s_engine->set_record(kReceiver, engine_record(0, 0xC520, "RQW_024_001_00012", "BL_001_005"));
        auto config = platform::sim::sim_keyboard_config();
        config.product_id = quillon::ids::kKeyboardC.productId;
        s_keyboard = new platform::sim::SimHidProtocolDevice(config);
        s_keyboard->plug();
        cDFUDeviceProvider::useEngineForInstance(s_engine);
        s_log = new EventLog;
        ASSERT_EQ(DFU_Init(&EventLog::callback, s_log), DFU_OK);
        ASSERT_TRUE(s_engine->wait_for_init());
        ASSERT_TRUE(s_engine->raise(static_cast<std::uint64_t>(kReceiver), QV_EVENT_DEVICE_ARRIVAL, 0));
        s_protocol = s_log->wait_for_arrival([](DFU_DEVICE d) {
            DFU_DEVICE_INFO info{};
            return DFU_GetDeviceInfo(d, &info) == DFU_OK && info.productId == quillon::ids::kKeyboardC.productId;
        });
        s_receiver = s_log->wait_for_arrival([](DFU_DEVICE d) {
            DFU_DEVICE_INFO info{};
            return DFU_GetDeviceInfo(d, &info) == DFU_OK && info.productId == 0xC520;
        });
    }

    static std::shared_ptr<EngineDouble> s_engine;
    static platform::sim::SimHidProtocolDevice* s_keyboard;   // lives as long as the process's provider
    static EventLog* s_log;
    static DFU_DEVICE s_protocol;
    static DFU_DEVICE s_receiver;
};
std::shared_ptr<EngineDouble> DfuApi::s_engine;
platform::sim::SimHidProtocolDevice* DfuApi::s_keyboard = nullptr;
EventLog* DfuApi::s_log = nullptr;
DFU_DEVICE DfuApi::s_protocol = 0;
DFU_DEVICE DfuApi::s_receiver = 0;

template <class T>
bool all_bytes(const T& record, unsigned char value)
{
    const auto* p = reinterpret_cast<const unsigned char*>(&record);
    for (std::size_t i = 0; i < sizeof record; ++i)
        if (p[i] != value)
            return false;
    return true;
}

TEST_F(DfuApi, UnknownHandlesAnswerTwoAndLeaveTheRecordAlone)
{
    ASSERT_NE(s_protocol, 0u);
    ASSERT_NE(s_receiver, 0u);
    const char image[32] = {};
    for (DFU_DEVICE handle : {DFU_DEVICE(0), DFU_DEVICE(12345), s_protocol + 8}) {
        SCOPED_TRACE(handle);
        DFU_DEVICE_INFO info;
        std::memset(&info, 0xAB, sizeof info);
        DFU_DEVICE_ENTRY entry;
        std::memset(&entry, 0xAB, sizeof entry);
        EXPECT_EQ(DFU_GetDeviceInfo(handle, &info), DFU_ERR_INVALID_HANDLE);
        EXPECT_EQ(DFU_GetDeviceEntry(handle, 0, &entry), DFU_ERR_INVALID_HANDLE);
        EXPECT_EQ(DFU_StartUpdate(handle, image, 32, nullptr, 0, false), DFU_ERR_INVALID_HANDLE);
        EXPECT_EQ(DFU_StartReceiverUpdate(handle, image, 32, nullptr, 0), DFU_ERR_INVALID_HANDLE);
        EXPECT_TRUE(all_bytes(info, 0xAB));
        EXPECT_TRUE(all_bytes(entry, 0xAB));
    }
}

TEST_F(DfuApi, KnownHandlesFillZeroedRecords)
{
    for (DFU_DEVICE handle : {s_protocol, s_receiver}) {
        SCOPED_TRACE(handle == s_protocol ? "protocol device" : "receiver");
        DFU_DEVICE_INFO info;
        std::memset(&info, 0xAB, sizeof info);
        ASSERT_EQ(DFU_GetDeviceInfo(handle, &info), DFU_OK);
        EXPECT_EQ(info.reserved, 0u);
        const std::size_t nameLength = std::strlen(info.name);
        for (std::size_t i = nameLength; i < sizeof info.name; ++i)
            EXPECT_EQ(info.name[i], 0) << i;
        for (std::size_t i = std::strlen(info.version); i < sizeof info.version; ++i)
            EXPECT_EQ(info.version[i], 0) << i;
        const auto* bytes = reinterpret_cast<const unsigned char*>(&info);
        EXPECT_EQ(bytes[182], 0);   // alignment between inDfu and unitId
        EXPECT_EQ(bytes[183], 0);

        DFU_DEVICE_ENTRY entry;
        std::memset(&entry, 0xAB, sizeof entry);
        ASSERT_EQ(DFU_GetDeviceEntry(handle, 0, &entry), DFU_OK);
        EXPECT_EQ(entry.reserved0, 0u);
        EXPECT_EQ(entry.reserved1, 0u);
        EXPECT_EQ(entry.prefix[3], 0);
        EXPECT_EQ(DFU_GetDeviceInfo(handle, nullptr), DFU_ERR_INVALID_PARAM);
        EXPECT_EQ(DFU_GetDeviceEntry(handle, 0, nullptr), DFU_ERR_INVALID_PARAM);
    }
    DFU_DEVICE_INFO info{};
    ASSERT_EQ(DFU_GetDeviceInfo(s_receiver, &info), DFU_OK);
    EXPECT_STREQ(info.version, "24.1.12");
    DFU_DEVICE_ENTRY entry{};
    EXPECT_EQ(DFU_GetDeviceEntry(s_receiver, 2, &entry), DFU_ERR_INVALID_PARAM);
    EXPECT_EQ(DFU_GetDeviceEntry(s_protocol, 99, &entry), DFU_ERR_NO_ENTRY);
}

TEST_F(DfuApi, EachKindOfAdapterStartsOnlyItsOwnUpdate)
{
    const std::vector<char> image(64, 'i');
    EXPECT_EQ(DFU_StartUpdate(s_receiver, image.data(), 64, nullptr, 0, false), DFU_ERR_NOT_SUPPORTED);
    EXPECT_EQ(DFU_StartReceiverUpdate(s_protocol, image.data(), 64, nullptr, 0), DFU_ERR_NOT_SUPPORTED);
    EXPECT_TRUE(s_engine->starts().empty());
}

TEST_F(DfuApi, BadImagesAreRefusedBeforeAnyTraffic)
{
    const std::vector<char> image(64, 'i');
    const std::size_t writes = s_keyboard->model().write_count();
    struct Row {
        const char* name;
        const char* image;
        int length;
    };
    const Row rows[] = {{"no image", nullptr, 64}, {"length 0", image.data(), 0}, {"negative length", image.data(), -1}};
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        EXPECT_EQ(DFU_StartUpdate(s_protocol, row.image, row.length, nullptr, 0, false), DFU_ERR_INVALID_PARAM);
        EXPECT_EQ(DFU_StartReceiverUpdate(s_receiver, row.image, row.length, nullptr, 0), DFU_ERR_INVALID_PARAM);
    }
    EXPECT_EQ(DFU_StartUpdate(s_protocol, image.data(), 8, nullptr, 0, false), DFU_ERR_INVALID_PARAM);
    EXPECT_EQ(DFU_StartUpdate(s_protocol, image.data(), 64, image.data(), 8, false), DFU_ERR_INVALID_PARAM);
    EXPECT_EQ(s_keyboard->model().write_count(), writes);
    EXPECT_TRUE(s_engine->starts().empty());
}

TEST_F(DfuApi, ASecondInitOnlyReplacesTheCallback)
{
    EventLog second;
    EXPECT_EQ(DFU_SetLogCallback(nullptr), DFU_OK);
    ASSERT_EQ(DFU_Init(&EventLog::callback, &second), DFU_OK);
    EXPECT_EQ(s_engine->inits(), 1);
    ASSERT_TRUE(s_engine->raise(0, QV_EVENT_ENUMERATION_COMPLETE, 0));
    EXPECT_TRUE(second.wait_for_event(0, DFU_EVENT_ENUMERATION_COMPLETE, 0));
    ASSERT_EQ(DFU_Init(&EventLog::callback, s_log), DFU_OK);
    EXPECT_EQ(s_engine->inits(), 1);
}

TEST_F(DfuApi, ARemovedAdapterIsAStaleHandle)
{
    constexpr std::int64_t kGone = -0x20002;
    s_engine->set_record(kGone, engine_record(0, 0xC530, "RQF_039_005_00018", "BL_001_008"));
    ASSERT_TRUE(s_engine->raise(static_cast<std::uint64_t>(kGone), QV_EVENT_DEVICE_ARRIVAL, 0));
    const DFU_DEVICE gone = s_log->wait_for_arrival([](DFU_DEVICE d) {
        DFU_DEVICE_INFO info{};
        return DFU_GetDeviceInfo(d, &info) == DFU_OK && info.productId == 0xC530;
    });
    ASSERT_NE(gone, 0u);
    ASSERT_TRUE(s_engine->raise(static_cast<std::uint64_t>(kGone), QV_EVENT_DEVICE_REMOVAL, 0));
    ASSERT_TRUE(s_log->wait_for_event(gone, DFU_EVENT_DEVICE_REMOVAL, 0));
    DFU_DEVICE_INFO info{};
    EXPECT_EQ(DFU_GetDeviceInfo(gone, &info), DFU_ERR_INVALID_HANDLE);
}

} // namespace
} // namespace app::test
