// Prints the size and member offsets of every Windows record the code hands to the system, and
// the value of every constant it passes. Built once over the stand-in and once over the real
// headers (run under Wine), the two outputs must be the same text.
#include <windows.h>

#include <initguid.h>

#include <bluetoothapis.h>
#include <bluetoothleapis.h>
#include <cfgmgr32.h>
#include <dbt.h>
#include <devpkey.h>
#include <hidsdi.h>
#include <setupapi.h>
#include <shlobj.h>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <type_traits>

// The Bluetooth LE records come from the project's own copy of the SDK's declarations in both
// builds (include/sdk), so the comparison cannot catch a fault in them: their x64 sizes and
// offsets in the SDK are checked here instead.
static_assert(sizeof(BTH_LE_UUID) == 20);
static_assert(sizeof(BTH_LE_GATT_SERVICE) == 24);
static_assert(sizeof(BTH_LE_GATT_CHARACTERISTIC) == 36);
static_assert(sizeof(BTH_LE_GATT_CHARACTERISTIC_VALUE) == 8);
static_assert(sizeof(BTH_LE_GATT_DESCRIPTOR) == 32);
static_assert(sizeof(BTH_LE_GATT_DESCRIPTOR_VALUE) == 80);
static_assert(offsetof(BTH_LE_GATT_DESCRIPTOR_VALUE, DataSize) == 72);
static_assert(offsetof(BTH_LE_GATT_DESCRIPTOR_VALUE, Data) == 76);
static_assert(sizeof(BLUETOOTH_GATT_VALUE_CHANGED_EVENT_REGISTRATION) == 40);
static_assert(sizeof(BLUETOOTH_GATT_VALUE_CHANGED_EVENT) == 24);

namespace {

template <typename T>
unsigned long long value_of(T value)
{
    if constexpr (std::is_pointer_v<T>)
        return static_cast<unsigned long long>(reinterpret_cast<std::uintptr_t>(value));
    else
        return static_cast<unsigned long long>(value);
}

}  // namespace

#define SIZE(T) std::printf("%s size %zu\n", #T, sizeof(T))
#define AT(T, m) std::printf("%s.%s at %zu size %zu\n", #T, #m, offsetof(T, m), sizeof(T::m))
#define VALUE(c) std::printf("%s = 0x%llx\n", #c, value_of(c))

int main()
{
    // Base types.
    SIZE(BOOL);
    SIZE(BOOLEAN);
    SIZE(WCHAR);
    SIZE(DWORD);
    SIZE(ULONG);
    SIZE(LONG);
    SIZE(HANDLE);
    SIZE(WPARAM);
    SIZE(LPARAM);
    SIZE(HRESULT);
    SIZE(NTSTATUS);
    SIZE(USAGE);
    SIZE(CONFIGRET);
    SIZE(DEVINST);
    SIZE(DEVPROPTYPE);

    SIZE(GUID);
    AT(GUID, Data1);
    AT(GUID, Data2);
    AT(GUID, Data3);
    AT(GUID, Data4);
    SIZE(LARGE_INTEGER);
    AT(LARGE_INTEGER, QuadPart);
    SIZE(SYSTEMTIME);
    AT(SYSTEMTIME, wYear);
    AT(SYSTEMTIME, wMilliseconds);

    // Kernel, files and windows.
    SIZE(OVERLAPPED);
    AT(OVERLAPPED, Internal);
    AT(OVERLAPPED, InternalHigh);
    AT(OVERLAPPED, Offset);
    AT(OVERLAPPED, OffsetHigh);
    AT(OVERLAPPED, Pointer);
    AT(OVERLAPPED, hEvent);
    SIZE(WIN32_FIND_DATAW);
    AT(WIN32_FIND_DATAW, dwFileAttributes);
    AT(WIN32_FIND_DATAW, ftLastWriteTime);
    AT(WIN32_FIND_DATAW, nFileSizeHigh);
    AT(WIN32_FIND_DATAW, nFileSizeLow);
    AT(WIN32_FIND_DATAW, cFileName);
    AT(WIN32_FIND_DATAW, cAlternateFileName);
    SIZE(MSG);
    AT(MSG, hwnd);
    AT(MSG, message);
    AT(MSG, wParam);
    AT(MSG, lParam);
    AT(MSG, time);
    AT(MSG, pt);
    SIZE(WNDCLASSW);
    AT(WNDCLASSW, style);
    AT(WNDCLASSW, lpfnWndProc);
    AT(WNDCLASSW, cbClsExtra);
    AT(WNDCLASSW, cbWndExtra);
    AT(WNDCLASSW, hInstance);
    AT(WNDCLASSW, hIcon);
    AT(WNDCLASSW, hCursor);
    AT(WNDCLASSW, hbrBackground);
    AT(WNDCLASSW, lpszMenuName);
    AT(WNDCLASSW, lpszClassName);
    SIZE(CREATESTRUCTW);
    AT(CREATESTRUCTW, lpCreateParams);
    AT(CREATESTRUCTW, hInstance);
    AT(CREATESTRUCTW, cy);
    AT(CREATESTRUCTW, style);
    AT(CREATESTRUCTW, lpszName);
    AT(CREATESTRUCTW, lpszClass);
    AT(CREATESTRUCTW, dwExStyle);
    SIZE(OSVERSIONINFOW);
    AT(OSVERSIONINFOW, dwMajorVersion);
    AT(OSVERSIONINFOW, dwMinorVersion);
    AT(OSVERSIONINFOW, szCSDVersion);
    SIZE(OSVERSIONINFOEXW);
    AT(OSVERSIONINFOEXW, dwMajorVersion);
    AT(OSVERSIONINFOEXW, dwMinorVersion);
    AT(OSVERSIONINFOEXW, wServicePackMajor);
    AT(OSVERSIONINFOEXW, wServicePackMinor);
    AT(OSVERSIONINFOEXW, wProductType);

    // Device notifications.
    SIZE(DEV_BROADCAST_HDR);
    AT(DEV_BROADCAST_HDR, dbch_size);
    AT(DEV_BROADCAST_HDR, dbch_devicetype);
    SIZE(DEV_BROADCAST_DEVICEINTERFACE_W);
    AT(DEV_BROADCAST_DEVICEINTERFACE_W, dbcc_classguid);
    AT(DEV_BROADCAST_DEVICEINTERFACE_W, dbcc_name);
    SIZE(DEV_BROADCAST_HANDLE);
    AT(DEV_BROADCAST_HANDLE, dbch_handle);
    AT(DEV_BROADCAST_HANDLE, dbch_hdevnotify);
    AT(DEV_BROADCAST_HANDLE, dbch_eventguid);
    AT(DEV_BROADCAST_HANDLE, dbch_nameoffset);
    AT(DEV_BROADCAST_HANDLE, dbch_data);

    // SetupAPI and the configuration manager.
    SIZE(SP_DEVINFO_DATA);
    AT(SP_DEVINFO_DATA, ClassGuid);
    AT(SP_DEVINFO_DATA, DevInst);
    AT(SP_DEVINFO_DATA, Reserved);
    SIZE(SP_DEVICE_INTERFACE_DATA);
    AT(SP_DEVICE_INTERFACE_DATA, InterfaceClassGuid);
    AT(SP_DEVICE_INTERFACE_DATA, Flags);
    AT(SP_DEVICE_INTERFACE_DATA, Reserved);
    SIZE(SP_DEVICE_INTERFACE_DETAIL_DATA_W);
    AT(SP_DEVICE_INTERFACE_DETAIL_DATA_W, DevicePath);
    SIZE(DEVPROPKEY);
    AT(DEVPROPKEY, fmtid);
    AT(DEVPROPKEY, pid);
    VALUE(DEVPKEY_Device_EnumeratorName.fmtid.Data1);
    VALUE(DEVPKEY_Device_EnumeratorName.fmtid.Data2);
    VALUE(DEVPKEY_Device_EnumeratorName.fmtid.Data3);
    VALUE(DEVPKEY_Device_EnumeratorName.fmtid.Data4[0]);
    VALUE(DEVPKEY_Device_EnumeratorName.fmtid.Data4[7]);
    VALUE(DEVPKEY_Device_EnumeratorName.pid);

    // HID.
    SIZE(HIDD_ATTRIBUTES);
    AT(HIDD_ATTRIBUTES, VendorID);
    AT(HIDD_ATTRIBUTES, ProductID);
    AT(HIDD_ATTRIBUTES, VersionNumber);
    SIZE(HIDP_CAPS);
    AT(HIDP_CAPS, Usage);
    AT(HIDP_CAPS, UsagePage);
    AT(HIDP_CAPS, InputReportByteLength);
    AT(HIDP_CAPS, OutputReportByteLength);
    AT(HIDP_CAPS, FeatureReportByteLength);
    AT(HIDP_CAPS, NumberLinkCollectionNodes);
    AT(HIDP_CAPS, NumberInputButtonCaps);
    AT(HIDP_CAPS, NumberInputValueCaps);
    AT(HIDP_CAPS, NumberOutputValueCaps);
    AT(HIDP_CAPS, NumberFeatureValueCaps);
    AT(HIDP_CAPS, NumberFeatureDataIndices);
    SIZE(HIDP_VALUE_CAPS);
    AT(HIDP_VALUE_CAPS, UsagePage);
    AT(HIDP_VALUE_CAPS, ReportID);
    AT(HIDP_VALUE_CAPS, LinkCollection);
    AT(HIDP_VALUE_CAPS, IsRange);
    AT(HIDP_VALUE_CAPS, BitSize);
    AT(HIDP_VALUE_CAPS, ReportCount);
    AT(HIDP_VALUE_CAPS, UnitsExp);
    AT(HIDP_VALUE_CAPS, LogicalMin);
    AT(HIDP_VALUE_CAPS, PhysicalMax);
    AT(HIDP_VALUE_CAPS, Range);
    AT(HIDP_VALUE_CAPS, NotRange.Usage);
    SIZE(HIDP_BUTTON_CAPS);
    AT(HIDP_BUTTON_CAPS, UsagePage);
    AT(HIDP_BUTTON_CAPS, ReportID);
    AT(HIDP_BUTTON_CAPS, IsRange);
    // Not compared: the reserved words after IsAbsolute, ULONG[10] in mingw-w64 10 and
    // ReportCount, Reserved2 and ULONG[9] in the current SDK and the stand-in (same bytes).
    AT(HIDP_BUTTON_CAPS, Range);
    AT(HIDP_BUTTON_CAPS, NotRange.Usage);
    VALUE(HidP_Input);
    VALUE(HidP_Output);
    VALUE(HidP_Feature);
    VALUE(HIDP_STATUS_SUCCESS);

    // Bluetooth.
    SIZE(BLUETOOTH_DEVICE_INFO);
    AT(BLUETOOTH_DEVICE_INFO, Address);
    AT(BLUETOOTH_DEVICE_INFO, ulClassofDevice);
    AT(BLUETOOTH_DEVICE_INFO, fConnected);
    AT(BLUETOOTH_DEVICE_INFO, fRemembered);
    AT(BLUETOOTH_DEVICE_INFO, fAuthenticated);
    AT(BLUETOOTH_DEVICE_INFO, stLastSeen);
    AT(BLUETOOTH_DEVICE_INFO, stLastUsed);
    AT(BLUETOOTH_DEVICE_INFO, szName);
    VALUE(BLUETOOTH_MAX_NAME_SIZE);
    SIZE(BTH_LE_UUID);
    AT(BTH_LE_UUID, Value);
    SIZE(BTH_LE_GATT_SERVICE);
    AT(BTH_LE_GATT_SERVICE, AttributeHandle);
    SIZE(BTH_LE_GATT_CHARACTERISTIC);
    AT(BTH_LE_GATT_CHARACTERISTIC, CharacteristicUuid);
    AT(BTH_LE_GATT_CHARACTERISTIC, AttributeHandle);
    AT(BTH_LE_GATT_CHARACTERISTIC, CharacteristicValueHandle);
    AT(BTH_LE_GATT_CHARACTERISTIC, IsWritable);
    AT(BTH_LE_GATT_CHARACTERISTIC, IsWritableWithoutResponse);
    AT(BTH_LE_GATT_CHARACTERISTIC, IsNotifiable);
    AT(BTH_LE_GATT_CHARACTERISTIC, HasExtendedProperties);
    SIZE(BTH_LE_GATT_CHARACTERISTIC_VALUE);
    AT(BTH_LE_GATT_CHARACTERISTIC_VALUE, Data);
    SIZE(BTH_LE_GATT_DESCRIPTOR);
    AT(BTH_LE_GATT_DESCRIPTOR, DescriptorType);
    AT(BTH_LE_GATT_DESCRIPTOR, DescriptorUuid);
    AT(BTH_LE_GATT_DESCRIPTOR, AttributeHandle);
    SIZE(BTH_LE_GATT_DESCRIPTOR_VALUE);
    AT(BTH_LE_GATT_DESCRIPTOR_VALUE, DescriptorUuid);
    AT(BTH_LE_GATT_DESCRIPTOR_VALUE, ClientCharacteristicConfiguration);
    AT(BTH_LE_GATT_DESCRIPTOR_VALUE, DataSize);
    AT(BTH_LE_GATT_DESCRIPTOR_VALUE, Data);
    SIZE(BLUETOOTH_GATT_VALUE_CHANGED_EVENT_REGISTRATION);
    AT(BLUETOOTH_GATT_VALUE_CHANGED_EVENT_REGISTRATION, Characteristics);
    SIZE(BLUETOOTH_GATT_VALUE_CHANGED_EVENT);
    AT(BLUETOOTH_GATT_VALUE_CHANGED_EVENT, CharacteristicValueDataSize);
    AT(BLUETOOTH_GATT_VALUE_CHANGED_EVENT, CharacteristicValue);
    VALUE(ClientCharacteristicConfiguration);
    VALUE(CharacteristicValueChangedEvent);
    VALUE(BLUETOOTH_GATT_FLAG_NONE);
    VALUE(BLUETOOTH_GATT_FLAG_WRITE_WITHOUT_RESPONSE);

    // Constants.
    VALUE(TRUE);
    VALUE(FALSE);
    VALUE(S_OK);
    VALUE(E_FAIL);
    VALUE(E_OUTOFMEMORY);
    VALUE(ERROR_SUCCESS);
    VALUE(ERROR_ALREADY_EXISTS);
    VALUE(ERROR_CLASS_ALREADY_EXISTS);
    VALUE(ERROR_DEVICE_NOT_CONNECTED);
    VALUE(ERROR_GEN_FAILURE);
    VALUE(ERROR_INSUFFICIENT_BUFFER);
    VALUE(ERROR_IO_PENDING);
    VALUE(ERROR_NO_MORE_ITEMS);
    VALUE(ERROR_FILE_NOT_FOUND);
    VALUE(ERROR_PATH_NOT_FOUND);
    VALUE(ERROR_INVALID_NAME);
    VALUE(ERROR_DISK_FULL);
    VALUE(ERROR_SHARING_VIOLATION);
    VALUE(ERROR_READ_FAULT);
    VALUE(ERROR_IO_DEVICE);
    VALUE(CR_SUCCESS);
    VALUE(CR_BUFFER_SMALL);
    VALUE(DEVPROP_TYPE_STRING);
    VALUE(DIGCF_PRESENT);
    VALUE(DIGCF_DEVICEINTERFACE);
    VALUE(CP_UTF8);
    VALUE(CREATE_ALWAYS);
    VALUE(OPEN_ALWAYS);
    VALUE(OPEN_EXISTING);
    VALUE(FILE_APPEND_DATA);
    VALUE(FILE_ATTRIBUTE_DIRECTORY);
    VALUE(FILE_ATTRIBUTE_NORMAL);
    VALUE(FILE_BEGIN);
    VALUE(FILE_FLAG_OVERLAPPED);
    VALUE(FILE_NOTIFY_CHANGE_FILE_NAME);
    VALUE(FILE_SHARE_READ);
    VALUE(FILE_SHARE_WRITE);
    VALUE(FILE_SHARE_DELETE);
    VALUE(MOVEFILE_REPLACE_EXISTING);
    VALUE(MOVEFILE_WRITE_THROUGH);
    VALUE(GENERIC_READ);
    VALUE(GENERIC_WRITE);
    VALUE(INFINITE);
    VALUE(INVALID_FILE_ATTRIBUTES);
    VALUE(INVALID_HANDLE_VALUE);
    VALUE(INVALID_SET_FILE_POINTER);
    VALUE(MAX_PATH);
    VALUE(WAIT_OBJECT_0);
    VALUE(WAIT_ABANDONED_0);
    VALUE(WAIT_TIMEOUT);
    VALUE(WAIT_FAILED);
    VALUE(HKEY_LOCAL_MACHINE);
    VALUE(KEY_ENUMERATE_SUB_KEYS);
    VALUE(KEY_QUERY_VALUE);
    VALUE(KEY_READ);
    VALUE(REG_DWORD);
    VALUE(REG_EXPAND_SZ);
    VALUE(REG_SZ);
    VALUE(CSIDL_COMMON_APPDATA);
    VALUE(SHGFP_TYPE_CURRENT);
    VALUE(VER_MAJORVERSION);
    VALUE(VER_MINORVERSION);
    VALUE(VER_SERVICEPACKMAJOR);
    VALUE(VER_GREATER_EQUAL);
    VALUE(DBT_CUSTOMEVENT);
    VALUE(DBT_DEVICEARRIVAL);
    VALUE(DBT_DEVICEQUERYREMOVE);
    VALUE(DBT_DEVICEQUERYREMOVEFAILED);
    VALUE(DBT_DEVICEREMOVECOMPLETE);
    VALUE(DBT_DEVICEREMOVEPENDING);
    VALUE(DBT_DEVTYP_DEVICEINTERFACE);
    VALUE(DBT_DEVTYP_HANDLE);
    VALUE(DEVICE_NOTIFY_WINDOW_HANDLE);
    VALUE(PBT_APMRESUMEAUTOMATIC);
    VALUE(GWLP_USERDATA);
    VALUE(SMTO_BLOCK);
    VALUE(SW_HIDE);
    VALUE(WM_CLOSE);
    VALUE(WM_DESTROY);
    VALUE(WM_DEVICECHANGE);
    VALUE(WM_NCCREATE);
    VALUE(WM_POWERBROADCAST);
    VALUE(WM_TIMER);
    VALUE(WM_USER);
    VALUE(WS_EX_TOOLWINDOW);
    VALUE(WS_POPUP);
    return 0;
}
