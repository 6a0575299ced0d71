// hid.dll's report parsing, strings and the entry points the update engine binds by name, and the
// interface settings key of SetupAPI.
#include "SimTestSupport.h"

#include <hidsdi.h>
#include <setupapi.h>
#include <hidclass.h>
#include <sim/Kernel.h>

#include <string>
#include <vector>

using namespace platform::sim;
using simtest::narrow;
using simtest::wide;

namespace {

// A keyboard-like collection: input report 0x20 is a bitmap of 16 buttons, input report 0x21 two
// value bytes, output report 0x20 a bitmap of 8 buttons.
class HidParserTest : public simtest::DeviceTreeTest {
protected:
    void SetUp() override
    {
        DeviceTreeTest::SetUp();
        HidCollectionLayout layout;
        layout.vendorId = 0x7E51;
        layout.productId = 0xB0B0;
        layout.usagePage = 0x07;
        layout.usage = 0x06;
        layout.inputReports = {{0x20, 3, true}, {0x21, 3, false}};
        layout.outputReports = {{0x20, 2, true}};
        layout.productString = "Sim Board";
        layout.serialNumber = "SN-42";
        m_collection = create_hid_collection(layout);
        m_collection->plug();
        const std::u16string path = wide(m_collection->path());
        m_file = CreateFileW(path.c_str(), GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                             OPEN_EXISTING, FILE_FLAG_OVERLAPPED, nullptr);
        ASSERT_NE(m_file, INVALID_HANDLE_VALUE);
        ASSERT_TRUE(HidD_GetPreparsedData(m_file, &m_data));
    }
    void TearDown() override
    {
        if (m_data)
            HidD_FreePreparsedData(m_data);
        if (m_file != INVALID_HANDLE_VALUE)
            CloseHandle(m_file);
        DeviceTreeTest::TearDown();
    }

    std::shared_ptr<HidCollection> m_collection;
    HANDLE m_file = INVALID_HANDLE_VALUE;
    PHIDP_PREPARSED_DATA m_data = nullptr;
};

PCHAR bytes(std::vector<std::uint8_t>& report)
{
    return reinterpret_cast<PCHAR>(report.data());
}

TEST_F(HidParserTest, ButtonsAreSetReadAndClearedInTheirOwnReport)
{
    std::vector<std::uint8_t> report(3, 0);
    report[0] = 0x20;
    USAGE press[] = {1, 10, 0, 16};  // an empty slot is skipped
    ULONG count = 4;
    ASSERT_EQ(HidP_SetUsages(HidP_Input, 0x07, 0, press, &count, m_data, bytes(report), 3), HIDP_STATUS_SUCCESS);
    EXPECT_EQ(report, (std::vector<std::uint8_t>{0x20, 0x01, 0x82}));

    // Too small a list reports how many there are.
    USAGE usages[3] = {};
    count = 2;
    EXPECT_EQ(HidP_GetUsages(HidP_Input, 0x07, 0, usages, &count, m_data, bytes(report), 3),
              HIDP_STATUS_BUFFER_TOO_SMALL);
    EXPECT_EQ(count, 3u);
    ASSERT_EQ(HidP_GetUsages(HidP_Input, 0x07, 0, usages, &count, m_data, bytes(report), 3), HIDP_STATUS_SUCCESS);
    EXPECT_EQ(std::vector<USAGE>(usages, usages + 3), (std::vector<USAGE>{1, 10, 16}));

    USAGE_AND_PAGE all[4] = {};
    count = 4;
    ASSERT_EQ(HidP_GetUsagesEx(HidP_Input, 0, all, &count, m_data, bytes(report), 3), HIDP_STATUS_SUCCESS);
    ASSERT_EQ(count, 3u);
    EXPECT_EQ(all[1].Usage, 10);
    EXPECT_EQ(all[1].UsagePage, 0x07);

    // Clearing stops at a button that is not pressed and says which one it was.
    USAGE release[] = {10, 11};
    count = 2;
    EXPECT_EQ(HidP_UnsetUsages(HidP_Input, 0x07, 0, release, &count, m_data, bytes(report), 3),
              HIDP_STATUS_BUTTON_NOT_PRESSED);
    EXPECT_EQ(count, 1u);
    EXPECT_EQ(report, (std::vector<std::uint8_t>{0x20, 0x01, 0x80}));

    // A usage beyond the bitmap, on another page, or a report of the wrong kind is refused untouched.
    USAGE beyond[] = {17};
    count = 1;
    EXPECT_EQ(HidP_SetUsages(HidP_Input, 0x07, 0, beyond, &count, m_data, bytes(report), 3),
              HIDP_STATUS_USAGE_NOT_FOUND);
    EXPECT_EQ(count, 0u);
    count = 3;
    EXPECT_EQ(HidP_GetUsages(HidP_Input, 0x09, 0, usages, &count, m_data, bytes(report), 3),
              HIDP_STATUS_USAGE_NOT_FOUND);
    std::vector<std::uint8_t> values = {0x21, 0xFF, 0xFF};
    count = 3;
    EXPECT_EQ(HidP_GetUsages(HidP_Input, 0x07, 0, usages, &count, m_data, bytes(values), 3),
              HIDP_STATUS_INCOMPATIBLE_REPORT_ID);
    USAGE one[] = {1};
    count = 1;
    EXPECT_EQ(HidP_SetUsages(HidP_Input, 0x07, 0, one, &count, m_data, bytes(values), 3),
              HIDP_STATUS_INCOMPATIBLE_REPORT_ID);
    EXPECT_EQ(values, (std::vector<std::uint8_t>{0x21, 0xFF, 0xFF}));
    count = 3;
    EXPECT_EQ(HidP_GetUsages(HidP_Input, 0x07, 0, usages, &count, m_data, bytes(report), 2),
              HIDP_STATUS_INVALID_REPORT_LENGTH);
    EXPECT_EQ(HidP_GetUsages(HidP_Feature, 0x07, 0, usages, &count, m_data, bytes(report), 3),
              HIDP_STATUS_REPORT_DOES_NOT_EXIST);

    // The output bitmap has its own report length.
    std::vector<std::uint8_t> out = {0x20, 0x00};
    USAGE led[] = {3};
    count = 1;
    ASSERT_EQ(HidP_SetUsages(HidP_Output, 0x07, 0, led, &count, m_data, bytes(out), 2), HIDP_STATUS_SUCCESS);
    EXPECT_EQ(out[1], 0x04);
}

TEST_F(HidParserTest, UsageValueComesFromTheReportWithItsId)
{
    std::vector<std::uint8_t> report = {0x21, 0x5A, 0x07};
    ULONG value = 0;
    ASSERT_EQ(HidP_GetUsageValue(HidP_Input, 0x07, 0, 0x06, &value, m_data, bytes(report), 3), HIDP_STATUS_SUCCESS);
    EXPECT_EQ(value, 0x5Au);
    std::vector<std::uint8_t> buttons = {0x20, 0x5A, 0x07};
    EXPECT_EQ(HidP_GetUsageValue(HidP_Input, 0x07, 0, 0x06, &value, m_data, bytes(buttons), 3),
              HIDP_STATUS_INCOMPATIBLE_REPORT_ID);
    EXPECT_EQ(HidP_GetUsageValue(HidP_Input, 0x07, 0, 0x99, &value, m_data, bytes(report), 3),
              HIDP_STATUS_USAGE_NOT_FOUND);
    EXPECT_EQ(HidP_GetUsageValue(HidP_Input, 0x07, 0, 0x06, nullptr, m_data, bytes(report), 3), HIDP_STATUS_NULL);
    HidD_FreePreparsedData(m_data);
    EXPECT_EQ(HidP_GetUsageValue(HidP_Input, 0x07, 0, 0x06, &value, m_data, bytes(report), 3),
              HIDP_STATUS_INVALID_PREPARSED_DATA);
    m_data = nullptr;
}

BOOLEAN collect_codes(PVOID context, PCHAR codes, ULONG length)
{
    auto* out = static_cast<std::vector<std::uint8_t>*>(context);
    out->insert(out->end(), codes, codes + length);
    return TRUE;
}

TEST_F(HidParserTest, KeyboardUsagesBecomeScanCodesAndTrackModifiers)
{
    HIDP_KEYBOARD_MODIFIER_STATE state{};
    std::vector<std::uint8_t> codes;
    USAGE keys[] = {0x04, 0xE4, 0x52, 0};  // a, right Control, Up; the list ends at 0
    ASSERT_EQ(HidP_TranslateUsagesToI8042ScanCodes(keys, 4, HidP_Keyboard_Make, &state, &collect_codes, &codes),
              HIDP_STATUS_SUCCESS);
    EXPECT_EQ(codes, (std::vector<std::uint8_t>{0x1E, 0xE0, 0x1D, 0xE0, 0x48}));
    EXPECT_TRUE(state.RightControl);
    codes.clear();
    ASSERT_EQ(HidP_TranslateUsagesToI8042ScanCodes(keys, 2, HidP_Keyboard_Break, &state, &collect_codes, &codes),
              HIDP_STATUS_SUCCESS);
    EXPECT_EQ(codes, (std::vector<std::uint8_t>{0x9E, 0xE0, 0x9D}));
    EXPECT_EQ(state.ul, 0u);
    USAGE unknown[] = {0xA5};
    EXPECT_EQ(HidP_TranslateUsagesToI8042ScanCodes(unknown, 1, HidP_Keyboard_Make, &state, &collect_codes, &codes),
              HIDP_STATUS_I8042_TRANS_UNKNOWN);
}

TEST_F(HidParserTest, IndexedStringsAndTheirBufferProbe)
{
    WCHAR text[64] = {};
    ASSERT_TRUE(HidD_GetIndexedString(m_file, 2, text, sizeof text));
    EXPECT_EQ(narrow(text), "Sim Board");
    ASSERT_TRUE(HidD_GetIndexedString(m_file, 3, text, sizeof text));
    EXPECT_EQ(narrow(text), "SN-42");
    ASSERT_TRUE(HidD_GetSerialNumberString(m_file, text, sizeof text));
    EXPECT_EQ(narrow(text), "SN-42");
    EXPECT_FALSE(HidD_GetIndexedString(m_file, 1, text, sizeof text));
    EXPECT_FALSE(HidD_GetIndexedString(m_file, 2, text, 8));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INSUFFICIENT_BUFFER));
    m_collection->unplug();
    EXPECT_FALSE(HidD_GetIndexedString(m_file, 2, text, sizeof text));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_DEVICE_NOT_CONNECTED));
}

TEST_F(HidParserTest, EngineBindsEveryEntryPointByNameAndOpensTheCollectionBelowItsPath)
{
    HMODULE hid = LoadLibraryW(u"Hid.dll");
    HMODULE setup = LoadLibraryW(u"SetupApi.dll");
    ASSERT_NE(hid, nullptr);
    ASSERT_NE(setup, nullptr);
    for (const char* name :
         {"HidP_GetSpecificButtonCaps", "HidP_GetLinkCollectionNodes", "HidP_GetUsages", "HidP_SetUsages",
          "HidP_UnsetUsages", "HidP_GetUsagesEx", "HidP_TranslateUsagesToI8042ScanCodes", "HidP_GetUsageValue",
          "HidP_GetCaps", "HidP_GetButtonCaps", "HidP_GetValueCaps", "HidD_GetHidGuid", "HidD_GetPreparsedData",
          "HidD_FreePreparsedData", "HidD_GetAttributes", "HidD_GetSerialNumberString", "HidD_GetIndexedString"})
        EXPECT_NE(GetProcAddress(hid, name), nullptr) << name;
    for (const char* name :
         {"SetupDiGetClassDevsW", "SetupDiGetDeviceInterfaceDetailW", "SetupDiGetDeviceRegistryPropertyW",
          "SetupDiEnumDeviceInterfaces", "SetupDiDestroyDeviceInfoList", "SetupDiEnumDeviceInfo",
          "SetupDiOpenDeviceInterfaceRegKey", "CM_Get_Parent", "CM_Get_Depth", "CM_Get_Device_IDA",
          "CM_Locate_DevNodeA", "CMP_WaitNoPendingInstallEvents"})
        EXPECT_NE(GetProcAddress(setup, name), nullptr) << name;
    FreeLibrary(setup);
    FreeLibrary(hid);

    // The engine opens "<interface path>\QVAPI": the same collection, with its own handle.
    const std::u16string below = wide(simtest::lowered(m_collection->path()) + "\\QVAPI");
    HANDLE file = CreateFileW(below.c_str(), GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                              nullptr, OPEN_EXISTING, FILE_FLAG_OVERLAPPED, nullptr);
    ASSERT_NE(file, INVALID_HANDLE_VALUE);
    EXPECT_EQ(m_collection->open_handle_count(), 2u);
    HIDD_ATTRIBUTES attributes{sizeof attributes, 0, 0, 0};
    EXPECT_TRUE(HidD_GetAttributes(file, &attributes));
    EXPECT_EQ(attributes.ProductID, 0xB0B0);
    CloseHandle(file);
    // A path that only starts like the interface's is another file.
    const std::u16string longer = wide(m_collection->path() + "x");
    EXPECT_EQ(CreateFileW(longer.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr),
              INVALID_HANDLE_VALUE);
}

TEST_F(HidParserTest, InterfaceSettingsKeyOpensOnceSeeded)
{
    HDEVINFO set = SetupDiCreateDeviceInfoList(nullptr, nullptr);
    SP_DEVICE_INTERFACE_DATA itf{};
    itf.cbSize = sizeof itf;
    const std::u16string path = wide(m_collection->path());
    ASSERT_TRUE(SetupDiOpenDeviceInterfaceW(set, path.c_str(), 0, &itf));
    const HKEY invalid = reinterpret_cast<HKEY>(INVALID_HANDLE_VALUE);
    EXPECT_EQ(SetupDiOpenDeviceInterfaceRegKey(set, &itf, 0, KEY_READ), invalid);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_FILE_NOT_FOUND));

    const std::string key = device_interface_key(simtest::lowered(m_collection->path()));
    EXPECT_EQ(key.rfind("SYSTEM\\CurrentControlSet\\Control\\DeviceClasses\\{4d1e55b2-", 0), 0u) << key;
    EXPECT_NE(key.find("\\##?#HID#VID_7E51&PID_B0B0"), std::string::npos) << key;
    registry_set_dword(HKEY_LOCAL_MACHINE, key, "Mode", 7);
    HKEY opened = SetupDiOpenDeviceInterfaceRegKey(set, &itf, 0, KEY_READ);
    ASSERT_NE(opened, invalid);
    DWORD value = 0, size = sizeof value, type = 0;
    EXPECT_EQ(RegQueryValueExW(opened, u"Mode", nullptr, &type, reinterpret_cast<LPBYTE>(&value), &size),
              ERROR_SUCCESS);
    EXPECT_EQ(value, 7u);
    RegCloseKey(opened);

    SP_DEVICE_INTERFACE_DATA stranger{};
    stranger.cbSize = sizeof stranger;
    EXPECT_EQ(SetupDiOpenDeviceInterfaceRegKey(set, &stranger, 0, KEY_READ), invalid);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_PARAMETER));
    SetupDiDestroyDeviceInfoList(set);
    EXPECT_EQ(SetupDiOpenDeviceInterfaceRegKey(set, &itf, 0, KEY_READ), invalid);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_HANDLE));
    registry_clear();
}

}  // namespace
