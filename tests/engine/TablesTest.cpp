// Texts, tables and small decisions of the engine, without devices.
#include "DFUPureHid.h"
#include "DfuManager.h"
#include "Device.h"
#include "EngineLog.h"
#include "Enumerator.h"
#include "HidDevice.h"
#include "ProtocolSelection.h"
#include "Receiver.h"
#include "TSLDevice.h"
#include "WirelessDevice.h"

#include <gtest/gtest.h>

#include <cstring>
#include <quillon/ProductIds.h>

using namespace qv;

namespace {

std::string text(const WCHAR* w)
{
    return narrow(w);
}

TEST(TextsTest, ResultAndEventTexts)
{
    const char* results[] = {"Success", "Invalid Param", "Invalid Handle", "Not Supported", "No FW Update",
                             "Negative answer", "Positive answer", "Low Battery", "Device Error", "Too many devices",
                             "Link Loss", "Resource Error", "Generic DFU Error", "Critical error",
                             "A DFU is in progress"};
    for (int i = 0; i < 15; ++i)
        EXPECT_EQ(text(QV_ErrorToString(i)), results[i]) << i;
    for (int code : {-1, 15, 1000})
        EXPECT_EQ(text(QV_ErrorToString(code)), "QV_ErrorToString needs to be updated") << code;
    const char* events[] = {"DEVICE ARRIVAL", "DEVICE REMOVAL", "ENUMERATION COMPLETE", "WIRELESS STATUS",
                            "DFU PROGRESS", "DFU BATTERY CHECK", "DFU STATUS CHANGED", "BATTERY STATUS",
                            "USER ACTIVITY", "DEVICE POWER UP", "DFU MILESTONE", "PAIRING STATUS"};
    for (int i = 0; i < 12; ++i)
        EXPECT_EQ(text(QV_EventToString(i)), events[i]) << i;
    EXPECT_EQ(text(QV_EventToString(12)), "QV_EventToString needs to be updated");
}

TEST(TextsTest, GenericRecordAndArguments)
{
    QV_DEVICE_INFO info;
    std::memset(&info, 0xEE, sizeof info);
    ASSERT_EQ(QV_GetDeviceInfo(-1, &info), 0);
    EXPECT_EQ(info.DevType, 0u);
    EXPECT_EQ(info.Parent, ~0ull);
    EXPECT_EQ(info.RadioType, 4);
    EXPECT_EQ(info.ModelID, 0u);
    EXPECT_EQ(text(info.Name), "Generic Receiver");
    EXPECT_EQ(info.RadioStatus, 3);
    EXPECT_EQ(info.Flags, 6);
    EXPECT_EQ(info.DFUStatus, 1);
    EXPECT_EQ(info.Battery, 1);
    EXPECT_EQ(info.FW[0], 0);
    for (std::int64_t h : {-1ll, 0ll, 42ll})
        EXPECT_EQ(QV_GetDeviceInfo(h, nullptr), QV_INVALID_PARAM) << h;
    EXPECT_EQ(QV_GetDeviceInfo(42, &info), QV_DEVICE_ERROR);
    // forceOldest ignores the file arguments; the generic receiver has no version to start from.
    EXPECT_EQ(QV_StartDFU(42, 1, 1, nullptr, 0, nullptr), QV_INVALID_HANDLE);
}

TEST(VersionTextTest, SplitAndFormat)
{
    struct Row {
        const char* text;
        bool ok;
        const char* formatted;
    };
    const Row rows[] = {
        {"RQR_012_005_00010", true, "RQR_012_005_00010"},
        {"RQR_12_5_10.ini", true, "RQR_012_005_00010"},
        {"RQK_024_001_00101_0002_0003", true, "RQK_024_001_00101"},
        {"UNK_000_000_00000", true, "UNK_000_000_00000"},
        {"RQR_012_005", false, ""},
        {"RQR_0x2_005_00010", false, ""},
        {"RQ_012_005_00010", false, ""},
        {"", false, ""},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.text);
        VersionRecord v;
        ASSERT_EQ(split_version_text(widen(row.text), v), row.ok);
        if (row.ok) {
            EXPECT_EQ(narrow(version_text(v)), row.formatted);
        }
    }
    VersionRecord v;
    split_version_text(widen("RQM_099_001_00002"), v);
    EXPECT_EQ(v.family, 0x20000u);
    v.blMajor = 1;
    v.blMinor = 0x1F;
    EXPECT_EQ(narrow(bootloader_text(v)), "BL_001_01f");
}

TEST(VersionTextTest, BootloaderTexts)
{
    VersionRecord v;
    ASSERT_TRUE(CDFUPureHid::ParseVersion("RQR12.05_B0123", v));
    EXPECT_EQ(narrow(version_text(v)), "RQR_012_005_00023") << "only the build's low 8 bits";
    EXPECT_EQ(v.family, 0x10000u);
    EXPECT_FALSE(CDFUPureHid::ParseVersion("RQR12.05", v));
    EXPECT_FALSE(CDFUPureHid::ParseVersion("RQRxx.05_B0123", v));
    EXPECT_FALSE(CDFUPureHid::ParseVersion("RQR00.05_B0123", v)) << "no firmware number, no version";

    std::uint8_t reply[33] = {0, 0x90, 0, 0, 14};
    std::memcpy(reply + 5, "BOT01.02_B0005", 14);
    VersionRecord bl;
    ASSERT_TRUE(CHidDevice::parse_bootloader_reply(reply, 33, bl));
    EXPECT_EQ(bl.blMajor, 2);
    EXPECT_EQ(bl.blMinor, 5);
    reply[4] = 200;  // a length beyond the report is cut
    EXPECT_TRUE(CHidDevice::parse_bootloader_reply(reply, 33, bl));
    reply[1] = 0x50;
    EXPECT_FALSE(CHidDevice::parse_bootloader_reply(reply, 33, bl));
}

TEST(SelectionTest, TableAndChoice)
{
    EXPECT_EQ(selection_table().size(), 28u);
    EXPECT_EQ(bootloader_keys().size(), 14u);
    struct Row {
        const char* name;
        std::uint32_t key;
        std::uint32_t protocol;
        std::uint32_t recovery;
    };
    const Row rows[] = {
        {"receiver 0x12", 0x12u << 16, kMaskPureHid, 1},
        {"receiver 0x24", 0x24u << 16, kMaskWrenHid, 1},
        {"receiver 0x39", 0x39u << 16, kMaskFenMarl, 1},
        {"paired firmware 0x16", 0x16u << 16, kMaskLite, 0},
        {"unknown firmware", 0x77u << 16, 0, 0},
        {"bootloader AA11", 0x7E51AA11u, kMaskPureHid, 0},
        {"bootloader AA24", 0x7E51AA24u, kMaskWrenHid, 0},
        {"bootloader AA36", 0x7E51AA36u, kMaskFenMarl, 0},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        const SelectionRow r = selection_row(row.key);
        EXPECT_EQ(selected_protocol(r.mask), row.protocol);
        EXPECT_EQ(r.recovery, row.recovery);
    }
    EXPECT_EQ(selected_protocol(kMaskNone), 0u);
    EXPECT_EQ(selected_protocol(kMaskNone | kMaskPureHid), 0u) << "the lowest bit decides";
    EXPECT_EQ(selected_protocol(kMaskLite | kMaskFenMarl), kMaskLite);
}

TEST(SelectionTest, ProductTableTakesTheBootloaders)
{
    Enumerator::ProductRow row;
    ASSERT_TRUE(Enumerator::product_row(0xC510, row));
    EXPECT_EQ(row.kind, 2u);
    ASSERT_TRUE(Enumerator::product_row(0xC523, row));
    EXPECT_EQ(row.mask, 0x0Bu) << "a mask that can never be met";
    for (std::uint16_t pid : quillon::ids::kBootloaderFenMarl) {
        ASSERT_TRUE(Enumerator::product_row(pid, row));
        EXPECT_EQ(row.kind, 8u);
    }
    EXPECT_FALSE(Enumerator::product_row(0x4001, row));
}

TEST(PairedDeviceTest, ConnectionNotificationAndBattery)
{
    struct Model {
        std::uint8_t p[4];
        std::uint32_t model;
    };
    const Model models[] = {
        {{1, 0, 0x34, 0x12}, 0x11234}, {{2, 0, 0x34, 0x12}, 0x20012}, {{4, 0, 0x01, 0x40}, 0x34001},
        {{12, 0, 0x02, 0x00}, 0x30002}, {{7, 0, 0x01, 0x40}, 0},
    };
    for (const auto& m : models)
        EXPECT_EQ(CWirelessDevice::model_id_of(m.p), m.model) << int(m.p[0]);

    struct Battery {
        std::uint32_t value;
        int code;
    };
    const Battery b0d[] = {{0x000000, 0}, {0x000001, 2}, {0x00001E, 2}, {0x00001F, 3}, {0x000064, 3},
                           {0x000065, 0}, {0x400000, 4}, {0x800000, 6}, {0xC00000, 5}, {0x0000E4, 3}};
    for (const auto& b : b0d)
        EXPECT_EQ(CWirelessDevice::battery_from_0d(b.value), b.code) << std::hex << b.value;
    // Register 0x07: byte 1 the charging state, byte 0 (while discharging) the level class.
    struct Level {
        const char* name;
        std::uint8_t b0, b1;
        int code;
    };
    const Level b07[] = {{"unknownLevel", 0, 0, 0}, {"critical", 1, 0, 2},     {"levelTwoIsGood", 2, 0, 3},
                         {"good", 7, 0, 3},        {"state21", 0, 0x21, 4}, {"state22", 1, 0x22, 6},
                         {"state23", 0, 0x23, 5},  {"otherState", 1, 0x30, 4}};
    for (const auto& b : b07) {
        SCOPED_TRACE(b.name);
        EXPECT_EQ(CWirelessDevice::battery_from_07(b.b0, b.b1), b.code);
    }
}

TEST(PairedDeviceTest, ConnectionNotificationGivesTypeAndRadio)
{
    struct Row {
        const char* name;
        std::uint8_t p0, p1;
        std::uint32_t devType;
        int radioType;  // with a receiver of RadioType 9; -1 refused
    };
    const std::uint32_t kUnknown = 0xFFFFFFFFu;
    const Row rows[] = {
        {"protocol 2 is a mouse whatever byte 1", 2, 0x01, 1, 0},
        {"keyboard", 1, 0x01, 2, 1},
        {"mouse", 4, 0x02, 1, 9},
        {"numeric pad", 5, 0x03, 3, 5},
        {"type 4", 3, 0x44, 5, 9},
        {"type 7", 6, 0x07, 6, 9},
        {"type 12", 12, 0x0C, 11, 9},
        {"link bits do not reach the type", 7, 0xA2, 1, 9},
        {"type 5 is unknown", 10, 0x05, kUnknown, 9},
        {"type 13 is unknown", 13, 0x0D, kUnknown, 9},
        {"protocol 0 is refused", 0, 0x01, 2, -1},
        {"protocol 8 is refused", 8, 0x01, 2, -1},
        {"protocol 11 is refused", 11, 0x01, 2, -1},
    };
    for (const auto& r : rows) {
        SCOPED_TRACE(r.name);
        const std::uint8_t payload[4] = {r.p0, r.p1, 0, 0};
        EXPECT_EQ(CReceiver::dev_type_of(payload), r.devType);
        EXPECT_EQ(CWirelessDevice::radio_type_of(r.p0, 9), r.radioType);
    }
}

TEST(StatusTest, ResultToStatusPerOperation)
{
    // Columns: results 0, 4, 7, 13 and any other (8).
    const int results[] = {QV_SUCCESS, QV_NO_FW_UPDATE, QV_LOW_BATTERY, QV_CRITICAL_ERROR, QV_DEVICE_ERROR};
    struct Row {
        const char* name;
        unsigned op;
        std::uint32_t devType;
        int status[5];
    };
    const Row rows[] = {
        {"paired newest", 0, 2, {6, 1, 2, 7, 4}},
        {"paired from file", 5, 1, {6, 1, 2, 7, 4}},
        {"paired older", 7, 2, {6, 1, 2, 7, 4}},
        {"bootloader older", 7, QV_DEVTYPE_BOOTLOADER, {6, 1, 2, 7, 4}},
        {"receiver newest", 1, 0, {6, 1, 4, 7, 4}},
        {"receiver from file", 6, 0, {6, 1, 4, 7, 4}},
        {"bootloader from file", 6, QV_DEVTYPE_BOOTLOADER, {6, 1, 4, 7, 4}},
        {"receiver older", 7, 0, {6, 1, 4, 7, 4}},
        {"protocol identifies", 2, 0, {6, 5, 4, 7, 4}},
        {"paired protocol identifies", 3, 2, {6, 5, 2, 7, 4}},
        {"paired recovery", 4, 0, {6, 5, 2, 7, 4}},
    };
    for (const auto& r : rows)
        for (int i = 0; i < 5; ++i) {
            SCOPED_TRACE(std::string(r.name) + ", result " + std::to_string(results[i]));
            EXPECT_EQ(DfuManager::status_for(r.op, r.devType, results[i]), r.status[i]);
        }
    EXPECT_EQ(DfuManager::status_for(1, 0, QV_RESOURCE_ERROR), QV_DFU_FAILED);
    EXPECT_EQ(DfuManager::status_for(0, 2, QV_GENERIC_DFU_ERROR), QV_DFU_FAILED);
}

TEST(RawCodeTest, RawCodesAndMutexName)
{
    EXPECT_EQ(map_raw(kRawLinkLost), QV_LINK_LOSS);
    EXPECT_EQ(map_raw(kRawErrorReply), QV_DEVICE_ERROR);
    EXPECT_EQ(map_raw(kRawOk), QV_SUCCESS);
    EXPECT_EQ(map_raw(5), QV_TOO_MANY_DEVICES);
    for (int raw : {int{kRawTimeout}, int{kRawBusy}, int{kRawClosing}, 1, 7, 9})
        EXPECT_EQ(map_raw(raw), QV_DEVICE_ERROR) << raw;
    EXPECT_EQ(CTSLDevice::mutex_name_for(widen("\\\\?\\hid#vid_7e51&pid_c510#8&2f&0&0000#{4d1e}")),
              "Global\\TSLHIDVID7E51PIDC51082F000004D1E");
    EXPECT_EQ(type_prefix(0), std::string("rcv"));
    EXPECT_EQ(type_prefix(7), std::string("mse"));
    EXPECT_EQ(type_prefix(3), std::string("nmp"));
    EXPECT_EQ(family_prefix(3), std::string("RQK"));
    EXPECT_EQ(family_prefix(0xFFFFFFFF), std::string("UNK"));
}

TEST(HandlesTest, ParentByteAndSerial)
{
    Enumerator& e = Enumerator::instance();
    auto* receiver = new CDevice(&e);
    auto* paired = new CDevice(&e);
    const std::uint64_t r = e.add(receiver, 0xFF);
    const std::uint64_t p = e.add(paired, 3);
    EXPECT_EQ(r, 0xFFFFFFFFFF000001ull) << "receivers: sign-extended parent byte 0xFF";
    EXPECT_EQ(p, 0x03000002ull);
    EXPECT_EQ(receiver->handle(), r);
    {
        DeviceRef ref = e.lookup(p);
        ASSERT_TRUE(ref);
        EXPECT_EQ(ref.get(), paired);
    }
    EXPECT_TRUE(e.remove(p));
    EXPECT_FALSE(e.lookup(p));
    EXPECT_FALSE(e.remove(p));
    EXPECT_TRUE(e.remove(r));
    EXPECT_EQ(e.device_count(), 0u);
}

TEST(EngineLogTextTest, DumpsAndTrim)
{
    QV_DEVICE_INFO r{};
    r.DevType = 2;
    r.Parent = 0xFF000001;
    r.ModelID = 0x34001;
    copy_bounded(r.Name, 80, widen("Kbd"));
    copy_bounded(r.FW, 80, widen("RQK_012_001_00002"));
    r.BL[0] = 'X';
    EXPECT_EQ(narrow(EngineLog::record_dump(r)),
              "DevType [2]\nParent [0Xff000001]\nRadioType [0]\nModelID [0X34001]\nName [Kbd]\nRadioStatus [0]\nFlags "
              "[0]\nSlider [0]\nDFUStatus [0]\nBattery [0]\nSN []\nFW [RQK_012_001_00002]\nNextFW []");
    const std::uint8_t bytes[] = {0x00, 0xAB, 0x10};
    EXPECT_EQ(narrow(EngineLog::hex_dump(bytes, 3)), "[ 00  ab  10 ]");
    EXPECT_EQ(narrow(EngineLog::hex_dump(bytes, 0)), "[]");

    // "cut line\r\nnext\r\n" in UTF-16LE
    std::vector<std::uint8_t> tail;
    for (char c : std::string("cut\r\nnext\r\n")) {
        tail.push_back(static_cast<std::uint8_t>(c));
        tail.push_back(0);
    }
    const auto kept = EngineLog::trimmed_tail(tail);
    ASSERT_EQ(kept.size(), tail.size());
    EXPECT_EQ(kept[0], ' ');
    EXPECT_EQ(kept[4], ' ');
    EXPECT_EQ(kept[6], '\r');
    EXPECT_EQ(kept[10], 'n');
    EXPECT_EQ(kept[12], 'e');
    EXPECT_EQ(kept[kept.size() - 2], 0) << "ends with a NUL character";
}

}  // namespace
