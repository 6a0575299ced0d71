// The device tree under change: lower-cased paths as the HID bus keeps them, information sets
// that outlive their devices, and short property buffers.
#include "SimTestSupport.h"

#include <cfgmgr32.h>
#include <devpkey.h>
#include <hidclass.h>
#include <hidsdi.h>
#include <setupapi.h>

#include <vector>

using namespace platform::sim;
using simtest::wide;

namespace {

class DeviceTreeEdgeTest : public simtest::DeviceTreeTest {};

TEST_F(DeviceTreeEdgeTest, LowerCasedInterfacePathOpensTheCollection)
{
    auto c = make_collection();
    c->plug();
    const std::u16string path = wide(simtest::lowered(c->path()));
    HANDLE file = CreateFileW(path.c_str(), GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                              OPEN_EXISTING, FILE_FLAG_OVERLAPPED, nullptr);
    ASSERT_NE(file, INVALID_HANDLE_VALUE);
    HIDD_ATTRIBUTES attributes{};
    attributes.Size = sizeof attributes;
    EXPECT_TRUE(HidD_GetAttributes(file, &attributes));
    EXPECT_EQ(attributes.ProductID, 0xC52B);
    EXPECT_EQ(c->open_handle_count(), 1u);
    CloseHandle(file);
}

TEST_F(DeviceTreeEdgeTest, InformationSetThatOutlivesItsDeviceFailsCleanly)
{
    auto c = make_collection();
    c->plug();
    HDEVINFO set = SetupDiGetClassDevsW(&GUID_DEVINTERFACE_HID, nullptr, nullptr, DIGCF_PRESENT | DIGCF_DEVICEINTERFACE);
    ASSERT_NE(set, INVALID_HANDLE_VALUE);
    SP_DEVICE_INTERFACE_DATA itf{};
    itf.cbSize = sizeof itf;
    ASSERT_TRUE(SetupDiEnumDeviceInterfaces(set, nullptr, &GUID_DEVINTERFACE_HID, 0, &itf));
    const DevInst node = c->dev_inst();
    c.reset();
    remove_all_dev_nodes();

    // Whatever the set still answers, it answers without harm; the node itself is gone.
    DWORD size = 0;
    if (!SetupDiGetDeviceInterfaceDetailW(set, &itf, nullptr, 0, &size, nullptr) &&
        GetLastError() == ERROR_INSUFFICIENT_BUFFER) {
        std::vector<std::uint64_t> storage(size / 8 + 1);
        auto* detail = reinterpret_cast<SP_DEVICE_INTERFACE_DETAIL_DATA_W*>(storage.data());
        detail->cbSize = 8;
        SP_DEVINFO_DATA info{};
        info.cbSize = sizeof info;
        SetupDiGetDeviceInterfaceDetailW(set, &itf, detail, size, nullptr, &info);
    }
    ULONG length = 0;
    EXPECT_NE(CM_Get_Device_ID_Size(&length, node, 0), static_cast<CONFIGRET>(CR_SUCCESS));
    DEVINST parent = 0;
    EXPECT_NE(CM_Get_Parent(&parent, node, 0), static_cast<CONFIGRET>(CR_SUCCESS));
    DEVPROPTYPE type = 0;
    ULONG bytes = 0;
    EXPECT_NE(CM_Get_DevNode_PropertyW(node, &DEVPKEY_Device_EnumeratorName, &type, nullptr, &bytes, 0),
              static_cast<CONFIGRET>(CR_SUCCESS));
    EXPECT_TRUE(SetupDiDestroyDeviceInfoList(set));
}

TEST_F(DeviceTreeEdgeTest, ShortPropertyAndIdBuffersAreRefusedWithTheNeededSize)
{
    const DevInst usb = add_dev_node(DevNodeLayout{"USB\\VID_7E51&PID_C52B\\9&1&0&1", 0, std::string("BTHLEDEVICE")});
    plug(usb);
    DEVPROPTYPE type = 0;
    std::vector<BYTE> buffer(6, 0xCC);  // room for three of twelve characters
    ULONG size = static_cast<ULONG>(buffer.size());
    EXPECT_EQ(CM_Get_DevNode_PropertyW(usb, &DEVPKEY_Device_EnumeratorName, &type, buffer.data(), &size, 0),
              static_cast<CONFIGRET>(CR_BUFFER_SMALL));
    EXPECT_EQ(size, 24u);
    ULONG length = 0;
    ASSERT_EQ(CM_Get_Device_ID_Size(&length, usb, 0), static_cast<CONFIGRET>(CR_SUCCESS));
    std::vector<WCHAR> id(length + 1, u'#');
    ASSERT_EQ(CM_Get_Device_IDW(usb, id.data(), length + 1, 0), static_cast<CONFIGRET>(CR_SUCCESS));
    EXPECT_EQ(id[length], u'\0');
    EXPECT_EQ(CM_Get_Device_IDW(usb, id.data(), 0, 0), static_cast<CONFIGRET>(CR_BUFFER_SMALL));
    EXPECT_NE(CM_Get_Device_IDW(usb, nullptr, length + 1, 0), static_cast<CONFIGRET>(CR_SUCCESS));
}

}  // namespace
