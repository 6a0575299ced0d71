// SetupAPI, the configuration manager and hid.dll over the simulated device tree.
#include "SimTestSupport.h"

#include <cfgmgr32.h>
// The one unit of this suite that defines the property keys, as a program must.
#include <initguid.h>
#include <devpkey.h>
#include <hidclass.h>
#include <hidsdi.h>
#include <setupapi.h>
#include <sim/Kernel.h>

#include <vector>

using namespace platform::sim;
using simtest::narrow;
using simtest::wide;

namespace {

class SetupApiTest : public simtest::DeviceTreeTest {};

// The interface paths SetupAPI lists for a class, the way the HID bus walks them.
std::vector<std::string> list_paths(const GUID& cls, const WCHAR* enumerator = nullptr,
                                    std::vector<DWORD>* devInsts = nullptr)
{
    std::vector<std::string> paths;
    HDEVINFO set = SetupDiGetClassDevsW(&cls, enumerator, nullptr, DIGCF_PRESENT | DIGCF_DEVICEINTERFACE);
    EXPECT_NE(set, INVALID_HANDLE_VALUE);
    for (DWORD i = 0;; ++i) {
        SP_DEVICE_INTERFACE_DATA itf{};
        itf.cbSize = sizeof itf;
        if (!SetupDiEnumDeviceInterfaces(set, nullptr, &cls, i, &itf)) {
            EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_NO_MORE_ITEMS));
            break;
        }
        DWORD size = 0;
        EXPECT_FALSE(SetupDiGetDeviceInterfaceDetailW(set, &itf, nullptr, 0, &size, nullptr));
        EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INSUFFICIENT_BUFFER));
        std::vector<std::uint64_t> storage(size / 8 + 1);
        auto* detail = reinterpret_cast<SP_DEVICE_INTERFACE_DETAIL_DATA_W*>(storage.data());
        detail->cbSize = sizeof(SP_DEVICE_INTERFACE_DETAIL_DATA_W);
        SP_DEVINFO_DATA info{};
        info.cbSize = sizeof info;
        EXPECT_TRUE(SetupDiGetDeviceInterfaceDetailW(set, &itf, detail, size, nullptr, &info));
        paths.push_back(narrow(detail->DevicePath));
        EXPECT_EQ(size, 4 + (paths.back().size() + 1) * 2);
        if (devInsts)
            devInsts->push_back(info.DevInst);
    }
    EXPECT_TRUE(SetupDiDestroyDeviceInfoList(set));
    return paths;
}

TEST_F(SetupApiTest, EnumeratesPresentInterfacesWithTheSizeProbe)
{
    auto a = make_collection("USB\\VID_7E51&PID_C52B\\1");
    auto b = make_collection("USB\\VID_7E51&PID_C52C\\2");
    a->plug();
    std::vector<DWORD> nodes;
    EXPECT_EQ(list_paths(GUID_DEVINTERFACE_HID, nullptr, &nodes), std::vector<std::string>{a->path()});
    EXPECT_EQ(nodes, std::vector<DWORD>{a->dev_inst()});
    b->plug();
    EXPECT_EQ(list_paths(GUID_DEVINTERFACE_HID).size(), 2u);
    // The enumerator may be an instance id, in any case.
    const std::u16string lowered = wide(simtest::lowered(b->instance_id()));
    EXPECT_EQ(list_paths(GUID_DEVINTERFACE_HID, lowered.c_str()), std::vector<std::string>{b->path()});
    const std::u16string unknown = u"USB\\VID_0000&PID_0000\\9";
    EXPECT_TRUE(list_paths(GUID_DEVINTERFACE_HID, unknown.c_str()).empty());
    b->unplug();
    EXPECT_EQ(list_paths(GUID_DEVINTERFACE_HID).size(), 1u);
}

TEST_F(SetupApiTest, DetailRecordSizeFieldsAreChecked)
{
    auto a = make_collection();
    a->plug();
    HDEVINFO set = SetupDiGetClassDevsW(&GUID_DEVINTERFACE_HID, nullptr, nullptr, DIGCF_PRESENT | DIGCF_DEVICEINTERFACE);
    SP_DEVICE_INTERFACE_DATA itf{};
    itf.cbSize = 28;
    EXPECT_FALSE(SetupDiEnumDeviceInterfaces(set, nullptr, &GUID_DEVINTERFACE_HID, 0, &itf));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_USER_BUFFER));
    itf.cbSize = sizeof itf;
    ASSERT_TRUE(SetupDiEnumDeviceInterfaces(set, nullptr, &GUID_DEVINTERFACE_HID, 0, &itf));
    std::vector<std::uint64_t> storage(64);
    auto* detail = reinterpret_cast<SP_DEVICE_INTERFACE_DETAIL_DATA_W*>(storage.data());
    detail->cbSize = 6;  // the size of the structure without its padding is wrong
    EXPECT_FALSE(SetupDiGetDeviceInterfaceDetailW(set, &itf, detail, 512, nullptr, nullptr));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_USER_BUFFER));
    detail->cbSize = 8;
    DWORD size = 0;
    EXPECT_FALSE(SetupDiGetDeviceInterfaceDetailW(set, &itf, detail, 10, &size, nullptr));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INSUFFICIENT_BUFFER));
    EXPECT_TRUE(SetupDiGetDeviceInterfaceDetailW(set, &itf, detail, size, nullptr, nullptr));
    EXPECT_TRUE(SetupDiDestroyDeviceInfoList(set));
    EXPECT_FALSE(SetupDiDestroyDeviceInfoList(set));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_HANDLE));
}

TEST_F(SetupApiTest, PathsAndIdsOpenCaseInsensitivelyAndLeadToTheParent)
{
    auto a = make_collection("USB\\VID_7E51&PID_C52B&MI_02\\7&ABC&0&2");
    a->plug();
    // The path of a collection below an interface of a composite device carries its MI_ part.
    EXPECT_NE(a->instance_id().find("&MI_02"), std::string::npos);

    HDEVINFO set = SetupDiCreateDeviceInfoList(nullptr, nullptr);
    SP_DEVICE_INTERFACE_DATA itf{};
    itf.cbSize = sizeof itf;
    const std::u16string lowerPath = wide(simtest::lowered(a->path()));
    ASSERT_TRUE(SetupDiOpenDeviceInterfaceW(set, lowerPath.c_str(), 0, &itf));
    SP_DEVINFO_DATA info{};
    info.cbSize = sizeof info;
    ASSERT_TRUE(SetupDiEnumDeviceInfo(set, 0, &info));
    EXPECT_EQ(info.DevInst, a->dev_inst());
    EXPECT_FALSE(SetupDiEnumDeviceInfo(set, 1, &info));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_NO_MORE_ITEMS));
    const std::u16string missing = u"\\\\?\\hid#nothing#{4d1e55b2-f16f-11cf-88cb-001111000030}";
    EXPECT_FALSE(SetupDiOpenDeviceInterfaceW(set, missing.c_str(), 0, &itf));

    // Instance id of the parent: the size comes without the NUL.
    DEVINST parent = 0;
    ASSERT_EQ(CM_Get_Parent(&parent, a->dev_inst(), 0), static_cast<CONFIGRET>(CR_SUCCESS));
    ULONG length = 0;
    ASSERT_EQ(CM_Get_Device_ID_Size(&length, parent, 0), static_cast<CONFIGRET>(CR_SUCCESS));
    EXPECT_EQ(length, std::string("USB\\VID_7E51&PID_C52B&MI_02\\7&ABC&0&2").size());
    std::vector<WCHAR> id(length + 1, u'x');
    EXPECT_EQ(CM_Get_Device_IDW(parent, id.data(), length - 1, 0), static_cast<CONFIGRET>(CR_BUFFER_SMALL));
    ASSERT_EQ(CM_Get_Device_IDW(parent, id.data(), length + 1, 0), static_cast<CONFIGRET>(CR_SUCCESS));
    EXPECT_EQ(narrow(id.data()), "USB\\VID_7E51&PID_C52B&MI_02\\7&ABC&0&2");

    // The same element opened by its instance id in lower case.
    const std::u16string lowerId = wide(simtest::lowered(a->instance_id()));
    SP_DEVINFO_DATA byId{};
    byId.cbSize = sizeof byId;
    ASSERT_TRUE(SetupDiOpenDeviceInfoW(set, lowerId.c_str(), nullptr, 0, &byId));
    EXPECT_EQ(byId.DevInst, a->dev_inst());
    const std::u16string unknownId = u"USB\\NOTHING\\0";
    EXPECT_FALSE(SetupDiOpenDeviceInfoW(set, unknownId.c_str(), nullptr, 0, &byId));
    SetupDiDestroyDeviceInfoList(set);

    DEVINST root = 0;
    ASSERT_EQ(CM_Get_Parent(&root, parent, 0), static_cast<CONFIGRET>(CR_SUCCESS));
    EXPECT_NE(CM_Get_Parent(&root, root, 0), static_cast<CONFIGRET>(CR_SUCCESS));
}

TEST_F(SetupApiTest, EnumeratorNamePropertyProbe)
{
    const DevInst usb = add_dev_node(DevNodeLayout{"USB\\VID_1\\1", 0, std::string("USB")});
    const DevInst bare = add_dev_node(DevNodeLayout{"ACPI\\X\\1", 0, std::nullopt});
    DEVPROPTYPE type = 0;
    ULONG size = 0;
    ASSERT_EQ(CM_Get_DevNode_PropertyW(usb, &DEVPKEY_Device_EnumeratorName, &type, nullptr, &size, 0),
              static_cast<CONFIGRET>(CR_BUFFER_SMALL));
    EXPECT_EQ(type, static_cast<DEVPROPTYPE>(DEVPROP_TYPE_STRING));
    EXPECT_EQ(size, 8u);  // "USB" and its NUL
    std::vector<BYTE> buffer(size + 1);
    ASSERT_EQ(CM_Get_DevNode_PropertyW(usb, &DEVPKEY_Device_EnumeratorName, &type, buffer.data(), &size, 0),
              static_cast<CONFIGRET>(CR_SUCCESS));
    EXPECT_EQ(narrow(reinterpret_cast<const WCHAR*>(buffer.data())), "USB");
    EXPECT_EQ(CM_Get_DevNode_PropertyW(bare, &DEVPKEY_Device_EnumeratorName, &type, nullptr, &size, 0),
              static_cast<CONFIGRET>(CR_NO_SUCH_VALUE));
    set_string_property(bare, DEVPKEY_Device_EnumeratorName, "BTHLEDEVICE");
    size = 0;
    EXPECT_EQ(CM_Get_DevNode_PropertyW(bare, &DEVPKEY_Device_EnumeratorName, &type, nullptr, &size, 0),
              static_cast<CONFIGRET>(CR_BUFFER_SMALL));
    EXPECT_EQ(size, 24u);
}

TEST_F(SetupApiTest, HidParserDescribesTheCollection)
{
    HidCollectionLayout layout;
    layout.vendorId = 0x7E51;
    layout.productId = 0xAB01;
    layout.usagePage = 0xFF43;
    layout.usage = 0x0602;
    layout.inputReports = {{0x11, 20, false}};
    layout.outputReports = {{0x11, 20, false}};
    layout.featureReports = {{0x05, 3, true}};
    layout.productString = "Sim Mouse";
    auto c = create_hid_collection(layout);
    c->plug();
    const std::u16string path = wide(c->path());
    HANDLE file = CreateFileW(path.c_str(), GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                              OPEN_EXISTING, FILE_FLAG_OVERLAPPED, nullptr);
    ASSERT_NE(file, INVALID_HANDLE_VALUE);
    HIDD_ATTRIBUTES attributes{sizeof attributes, 0, 0, 0};
    ASSERT_TRUE(HidD_GetAttributes(file, &attributes));
    EXPECT_EQ(attributes.VendorID, 0x7E51);
    EXPECT_EQ(attributes.ProductID, 0xAB01);
    WCHAR name[126] = {};
    ASSERT_TRUE(HidD_GetProductString(file, name, sizeof name));
    EXPECT_EQ(narrow(name), "Sim Mouse");

    PHIDP_PREPARSED_DATA data = nullptr;
    ASSERT_TRUE(HidD_GetPreparsedData(file, &data));
    HIDP_CAPS caps{};
    EXPECT_EQ(HidP_GetCaps(data, &caps), HIDP_STATUS_SUCCESS);
    EXPECT_EQ(caps.UsagePage, 0xFF43);
    EXPECT_EQ(caps.Usage, 0x0602);
    EXPECT_EQ(caps.InputReportByteLength, 20);
    EXPECT_EQ(caps.OutputReportByteLength, 20);
    EXPECT_EQ(caps.FeatureReportByteLength, 3);
    EXPECT_EQ(caps.NumberOutputValueCaps + caps.NumberOutputButtonCaps, 1);
    EXPECT_EQ(caps.NumberFeatureButtonCaps, 1);
    HIDP_VALUE_CAPS values[2]{};
    USHORT count = 2;
    EXPECT_EQ(HidP_GetValueCaps(HidP_Output, values, &count, data), HIDP_STATUS_SUCCESS);
    ASSERT_EQ(count, 1);
    EXPECT_EQ(values[0].ReportID, 0x11);
    EXPECT_EQ(values[0].ReportCount, 19);
    HIDP_BUTTON_CAPS buttons[1]{};
    count = 1;
    EXPECT_EQ(HidP_GetButtonCaps(HidP_Feature, buttons, &count, data), HIDP_STATUS_SUCCESS);
    EXPECT_EQ(buttons[0].ReportID, 0x05);
    ULONG nodes = 0;
    EXPECT_EQ(HidP_GetLinkCollectionNodes(nullptr, &nodes, data), HIDP_STATUS_BUFFER_TOO_SMALL);
    EXPECT_EQ(nodes, 1u);
    EXPECT_TRUE(HidD_FreePreparsedData(data));
    // Freed data is recognised, not read.
    EXPECT_FALSE(HidD_FreePreparsedData(data));
    EXPECT_EQ(HidP_GetCaps(data, &caps), HIDP_STATUS_INVALID_PREPARSED_DATA);
    CloseHandle(file);
}

TEST_F(SetupApiTest, ModulesAreReachedByNameAndCanBeSwitchedOff)
{
    HMODULE hid = LoadLibraryW(u"hid.dll");
    ASSERT_NE(hid, nullptr);
    auto getGuid = reinterpret_cast<void (*)(LPGUID)>(reinterpret_cast<void (*)()>(GetProcAddress(hid, "HidD_GetHidGuid")));
    ASSERT_NE(getGuid, nullptr);
    GUID guid{};
    getGuid(&guid);
    EXPECT_TRUE(guid == GUID_DEVINTERFACE_HID);
    FreeLibrary(hid);
    for (const char* module : {"setupapi.dll", "cfgmgr32.dll"}) {
        HMODULE m = LoadLibraryA(module);
        ASSERT_NE(m, nullptr) << module;
        EXPECT_NE(GetProcAddress(m, module[0] == 's' ? "SetupDiGetClassDevsW" : "CM_Get_DevNode_PropertyW"), nullptr);
        FreeLibrary(m);
    }
    set_entry_absent("cfgmgr32.dll", "CM_Get_Parent", true);
    HMODULE cm = LoadLibraryW(u"cfgmgr32.dll");
    EXPECT_EQ(GetProcAddress(cm, "CM_Get_Parent"), nullptr);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_PROC_NOT_FOUND));
    set_entry_absent("cfgmgr32.dll", "CM_Get_Parent", false);
    FreeLibrary(cm);
}

}  // namespace
