// The firmware check against the firmware folder, the folder watch, and installing an older image.
#include "EngineTestSupport.h"
#include "ImageFiles.h"

#include "devices/SimHidReceiver.h"

#include <gtest/gtest.h>
#include <sim/Scenario.h>

using namespace enginetest;
using namespace platform::sim;

namespace {

const std::string kFolder = "C:\\Program Files\\Quillon\\Firmware";

std::string descriptor(const char* number, const char* release, const char* build, const char* location)
{
    return std::string("[FirmwareData]\r\nFWNumber=") + number + "\r\nFWRelease=" + release + "\r\nFWBuild=" + build +
           "\r\nHWRev=0\r\nLocation=" + location + "\r\nDstFamily=RQR\r\n";
}

class FirmwareCheckTest : public ::testing::Test {
protected:
    void SetUp() override { fresh_machine(); }

    std::unique_ptr<SimHidReceiver> receiver()
    {
        auto rx = std::make_unique<SimHidReceiver>(0xC510, 0x0BADF00D);  // firmware 12.01.0010
        rx->receiver().set_latency(std::chrono::milliseconds(2));
        rx->set_switch_delays(std::chrono::milliseconds(20), std::chrono::milliseconds(20));
        rx->plug();
        return rx;
    }

    std::uint64_t first_receiver()
    {
        for (std::uint64_t h : log.arrivals())
            if (info_of(h).DevType == 0)
                return h;
        return 0;
    }

    EventLog log;
};

TEST_F(FirmwareCheckTest, NewerFirmwareInTheFolderIsOffered)
{
    ASSERT_TRUE(write_file(kFolder + "\\RQR_012_002_00011.ini", descriptor("12", "2", "11", "rcv.hex")));
    ASSERT_TRUE(write_file(kFolder + "\\RQR_012_001_00001.ini", descriptor("12", "1", "1", "old.hex")));
    auto rx = receiver();
    EngineHost host(log);
    ASSERT_TRUE(log.wait_count(QV_EVENT_ENUMERATION_COMPLETE, 1));
    const std::uint64_t h = first_receiver();
    ASSERT_TRUE(log.wait_for(QV_EVENT_DFU_STATUS_CHANGED, h, QV_DFU_NEWER_FW_AVAILABLE));
    const QV_DEVICE_INFO info = info_of(h);
    EXPECT_EQ(text(info.FW), "RQR_012_001_00010");
    EXPECT_EQ(text(info.NextFW), "RQR_012_002_00011");
    EXPECT_EQ(text(info.BL), "BL_001_005");
}

TEST_F(FirmwareCheckTest, FolderWatchFindsANewDescriptor)
{
    ASSERT_TRUE(write_file(kFolder + "\\readme.txt", "firmware goes here"));
    auto rx = receiver();
    EngineHost host(log);
    ASSERT_TRUE(log.wait_count(QV_EVENT_ENUMERATION_COMPLETE, 1));
    const std::uint64_t h = first_receiver();
    EXPECT_EQ(info_of(h).DFUStatus, QV_DFU_NO_NEWER_FW);
    ASSERT_TRUE(write_file(kFolder + "\\RQR_012_003_00001.ini", descriptor("12", "3", "1", "rcv.hex")));
    ASSERT_TRUE(log.wait_for(QV_EVENT_DFU_STATUS_CHANGED, h, QV_DFU_NEWER_FW_AVAILABLE));
    EXPECT_EQ(text(info_of(h).NextFW), "RQR_012_003_00001");
}

TEST_F(FirmwareCheckTest, FolderFromTheRegistry)
{
    registry_set_string(HKEY_LOCAL_MACHINE, "SOFTWARE\\TARNWICK\\RAVELIN", "DFUBinaryPath", "D:\\Images");
    ASSERT_TRUE(write_file("D:\\Images\\RQR_012_004_00001.ini", descriptor("12", "4", "1", "rcv.hex")));
    auto rx = receiver();
    EngineHost host(log);
    ASSERT_TRUE(log.wait_count(QV_EVENT_ENUMERATION_COMPLETE, 1));
    ASSERT_TRUE(log.wait_for(QV_EVENT_DFU_STATUS_CHANGED, first_receiver(), QV_DFU_NEWER_FW_AVAILABLE));
}

TEST_F(FirmwareCheckTest, InstallTheNextOlderFirmware)
{
    const auto image = make_image(0x300);
    ASSERT_TRUE(write_file(kFolder + "\\old.hex", hex_text(image)));
    ASSERT_TRUE(write_file(kFolder + "\\RQR_012_001_00001.ini", descriptor("12", "1", "1", "old.hex")));
    auto rx = receiver();
    EngineHost host(log);
    ASSERT_TRUE(log.wait_count(QV_EVENT_ENUMERATION_COMPLETE, 1));
    const std::uint64_t h = first_receiver();
    // Both file arguments are ignored.
    ASSERT_EQ(QV_StartDFU(static_cast<std::int64_t>(h), 1, 1, nullptr, 0, QUILLON_W("C:\\nowhere.pkcs1")), QV_SUCCESS);
    ASSERT_TRUE(log.wait_for(QV_EVENT_DFU_STATUS_CHANGED, h, QV_DFU_SUCCEEDED));
    ASSERT_TRUE(rx->wait_for_mode(false, std::chrono::seconds(10)));
    EXPECT_EQ(rx->bootloader()->model().flash(0, image.size()), image);
}

TEST_F(FirmwareCheckTest, OldestFirmwareHasNothingOlder)
{
    auto rx = receiver();
    EngineHost host(log);
    ASSERT_TRUE(log.wait_count(QV_EVENT_ENUMERATION_COMPLETE, 1));
    const std::uint64_t h = first_receiver();
    ASSERT_EQ(QV_StartDFU(static_cast<std::int64_t>(h), 1, 1, nullptr, 0, nullptr), QV_SUCCESS);
    ASSERT_TRUE(log.wait_for(QV_EVENT_DFU_STATUS_CHANGED, h, QV_DFU_NO_NEWER_FW));
    EXPECT_EQ(log.count(QV_EVENT_DEVICE_REMOVAL), 0u) << "nothing left: no removal";
    EXPECT_FALSE(rx->in_bootloader());
}

}  // namespace

namespace {

// A protocol 1.0 device's version comes from register 0xF1, hardware revision included: only the
// descriptor for its hardware is offered.
TEST_F(FirmwareCheckTest, PairedDeviceOfferIsForItsHardware)
{
    auto keyboard = [](const char* release, const char* hw) {
        return std::string("[FirmwareData]\r\nFWNumber=1\r\nFWRelease=") + release +
               "\r\nFWBuild=1\r\nHWRev=" + hw + "\r\nLocation=kbd.bin\r\nDstFamily=RQK\r\n";
    };
    ASSERT_TRUE(write_file(kFolder + "\\RQK_001_004_00001.ini", keyboard("4", "7")));
    ASSERT_TRUE(write_file(kFolder + "\\RQK_001_003_00001.ini", keyboard("3", "5")));
    auto scenario = Scenario::from_text(
        "<scenario><device kind=\"receiver\" name=\"rx\" product=\"0xC530\" latency-us=\"2000\">"
        "<paired slot=\"1\" kind=\"keyboard\" name=\"Old Keyboard\" ota=\"true\" protocol=\"1.0\">"
        "<firmware type=\"0\" number=\"0x0102\" build=\"0x33\"/><firmware type=\"2\" name=\"HWR\" number=\"5\"/>"
        "</paired>"
        "</device></scenario>");
    scenario.plug();
    EngineHost host(log);
    ASSERT_TRUE(log.wait_count(QV_EVENT_ENUMERATION_COMPLETE, 1));
    const std::uint64_t device = wait_paired_device(log);
    ASSERT_NE(device, 0u);
    ASSERT_TRUE(log.wait_for(QV_EVENT_DFU_STATUS_CHANGED, device, QV_DFU_NEWER_FW_AVAILABLE));
    const QV_DEVICE_INFO info = info_of(device);
    EXPECT_EQ(text(info.FW), "RQK_001_002_00033");
    EXPECT_EQ(text(info.NextFW), "RQK_001_003_00001") << "not the one for other hardware";
}

}  // namespace
