#include "Windows/Win32System.h"

#include "core/ErrorRecord.h"

#include <quillon/WideText.h>

#include <cstring>

namespace devio {

namespace {

constexpr ErrorCode kMissingEntry = 31;

// Loads a library on first use; a lost race leaves one extra (reference-counted) load.
HMODULE module_of(std::atomic<HMODULE>& slot, const WCHAR* name, const char* failureText)
{
    HMODULE module = slot.load();
    if (module)
        return module;
    module = ::LoadLibraryW(name);
    if (!module)
        throw DevioException(failureText, kMissingEntry, ::GetLastError());
    HMODULE expected = nullptr;
    if (!slot.compare_exchange_strong(expected, module))
        return expected;
    return module;
}

template <class F>
F entry_of(HMODULE module, const char* name, const char* missingText)
{
    FARPROC proc = ::GetProcAddress(module, name);
    if (!proc)
        throw DevioException(missingText, kMissingEntry, ::GetLastError());
    // Through the generic function type: the entry point's real type is F.
    return reinterpret_cast<F>(reinterpret_cast<void (*)()>(proc));
}

} // namespace

#define QUILLON_HID(fn) \
    entry_of<decltype(&::fn)>(module_of(m_hid, QUILLON_W("hid.dll"), "LoadLibrary hid.dll failed"), #fn, \
                              #fn " ProcAddress Missing")
#define QUILLON_SETUPAPI(fn) \
    entry_of<decltype(&::fn)>(module_of(m_setupapi, QUILLON_W("setupapi.dll"), "LoadLibrary setupapi.dll failed"), #fn, \
                              #fn " ProcAddress Missing")
// Through the virtual slot, so that a replacement table redirects all four entries.
#define QUILLON_CFGMGR(fn, text) entry_of<decltype(&::fn)>(getCfgMgr32Module(), #fn, text)

Win32System::~Win32System()
{
    // The Bluetooth modules stay loaded for the life of the process.
    if (HMODULE m = m_hid.exchange(nullptr))
        ::FreeLibrary(m);
    if (HMODULE m = m_setupapi.exchange(nullptr))
        ::FreeLibrary(m);
    if (HMODULE m = m_cfgmgr32.exchange(nullptr))
        ::FreeLibrary(m);
}

void Win32System::HidD_GetHidGuid(LPGUID hidGuid)
{
    QUILLON_HID(HidD_GetHidGuid)(hidGuid);
}
BOOLEAN Win32System::HidD_GetAttributes(HANDLE device, PHIDD_ATTRIBUTES attributes)
{
    return QUILLON_HID(HidD_GetAttributes)(device, attributes);
}
BOOLEAN Win32System::HidD_GetProductString(HANDLE device, PVOID buffer, ULONG length)
{
    return QUILLON_HID(HidD_GetProductString)(device, buffer, length);
}
BOOLEAN Win32System::HidD_GetPreparsedData(HANDLE device, PHIDP_PREPARSED_DATA* data)
{
    return QUILLON_HID(HidD_GetPreparsedData)(device, data);
}
BOOLEAN Win32System::HidD_FreePreparsedData(PHIDP_PREPARSED_DATA data)
{
    return QUILLON_HID(HidD_FreePreparsedData)(data);
}
NTSTATUS Win32System::HidP_GetCaps(PHIDP_PREPARSED_DATA data, PHIDP_CAPS caps)
{
    return QUILLON_HID(HidP_GetCaps)(data, caps);
}
NTSTATUS Win32System::HidP_GetValueCaps(HIDP_REPORT_TYPE type, PHIDP_VALUE_CAPS caps, USHORT* length,
                                        PHIDP_PREPARSED_DATA data)
{
    return QUILLON_HID(HidP_GetValueCaps)(type, caps, length, data);
}
NTSTATUS Win32System::HidP_GetButtonCaps(HIDP_REPORT_TYPE type, PHIDP_BUTTON_CAPS caps, USHORT* length,
                                         PHIDP_PREPARSED_DATA data)
{
    return QUILLON_HID(HidP_GetButtonCaps)(type, caps, length, data);
}
NTSTATUS Win32System::HidP_GetLinkCollectionNodes(PHIDP_LINK_COLLECTION_NODE nodes, PULONG length,
                                                  PHIDP_PREPARSED_DATA data)
{
    return QUILLON_HID(HidP_GetLinkCollectionNodes)(nodes, length, data);
}
HANDLE Win32System::CreateFileW(LPCWSTR name, DWORD access, DWORD share, LPSECURITY_ATTRIBUTES security,
                                DWORD creation, DWORD flags, HANDLE templateFile)
{
    return ::CreateFileW(name, access, share, security, creation, flags, templateFile);
}
HDEVNOTIFY Win32System::RegisterDeviceNotificationW(HANDLE recipient, LPVOID filter, DWORD flags)
{
    return ::RegisterDeviceNotificationW(recipient, filter, flags);
}
HDEVINFO Win32System::SetupDiCreateDeviceInfoList(const GUID* classGuid, HWND parent)
{
    return QUILLON_SETUPAPI(SetupDiCreateDeviceInfoList)(classGuid, parent);
}
BOOL Win32System::SetupDiOpenDeviceInterfaceW(HDEVINFO set, PCWSTR path, DWORD flags,
                                              PSP_DEVICE_INTERFACE_DATA data)
{
    return QUILLON_SETUPAPI(SetupDiOpenDeviceInterfaceW)(set, path, flags, data);
}
BOOL Win32System::SetupDiEnumDeviceInfo(HDEVINFO set, DWORD index, PSP_DEVINFO_DATA data)
{
    return QUILLON_SETUPAPI(SetupDiEnumDeviceInfo)(set, index, data);
}
BOOL Win32System::SetupDiOpenDeviceInfoW(HDEVINFO set, PCWSTR instanceId, HWND parent, DWORD flags,
                                         PSP_DEVINFO_DATA data)
{
    return QUILLON_SETUPAPI(SetupDiOpenDeviceInfoW)(set, instanceId, parent, flags, data);
}
BOOL Win32System::SetupDiGetDevicePropertyW(HDEVINFO set, PSP_DEVINFO_DATA data, const DEVPROPKEY* key,
                                            DEVPROPTYPE* type, PBYTE buffer, DWORD size, PDWORD required,
                                            DWORD flags)
{
    return QUILLON_SETUPAPI(SetupDiGetDevicePropertyW)(set, data, key, type, buffer, size, required, flags);
}
HDEVINFO Win32System::SetupDiGetClassDevsW(const GUID* classGuid, PCWSTR enumerator, HWND parent, DWORD flags)
{
    return QUILLON_SETUPAPI(SetupDiGetClassDevsW)(classGuid, enumerator, parent, flags);
}
BOOL Win32System::SetupDiDestroyDeviceInfoList(HDEVINFO set)
{
    return QUILLON_SETUPAPI(SetupDiDestroyDeviceInfoList)(set);
}
BOOL Win32System::SetupDiEnumDeviceInterfaces(HDEVINFO set, PSP_DEVINFO_DATA element, const GUID* classGuid,
                                              DWORD index, PSP_DEVICE_INTERFACE_DATA data)
{
    return QUILLON_SETUPAPI(SetupDiEnumDeviceInterfaces)(set, element, classGuid, index, data);
}
BOOL Win32System::SetupDiGetDeviceInterfaceDetailW(HDEVINFO set, PSP_DEVICE_INTERFACE_DATA data,
                                                   PSP_DEVICE_INTERFACE_DETAIL_DATA_W detail, DWORD size,
                                                   PDWORD required, PSP_DEVINFO_DATA element)
{
    return QUILLON_SETUPAPI(SetupDiGetDeviceInterfaceDetailW)(set, data, detail, size, required, element);
}
HMODULE Win32System::getCfgMgr32Module()
{
    return module_of(m_cfgmgr32, QUILLON_W("cfgmgr32.dll"), "LoadLibrary cfgmgr32.dll failed");
}
CONFIGRET Win32System::CM_Get_Parent(PDEVINST parent, DEVINST instance, ULONG flags)
{
    return QUILLON_CFGMGR(CM_Get_Parent, "CM_Get_Parent ProcAddress Missing")(parent, instance, flags);
}
CONFIGRET Win32System::CM_Get_Device_ID_Size(PULONG length, DEVINST instance, ULONG flags)
{
    return QUILLON_CFGMGR(CM_Get_Device_ID_Size, "CM_Get_Device_ID_Size ProcAddress Missing")(length, instance,
                                                                                                flags);
}
CONFIGRET Win32System::CM_Get_Device_IDW(DEVINST instance, PWSTR buffer, ULONG length, ULONG flags)
{
    return QUILLON_CFGMGR(CM_Get_Device_IDW, "CM_Get_Device_ID ProcAddress Missing")(instance, buffer, length,
                                                                                        flags);
}
CONFIGRET Win32System::CM_Get_DevNode_PropertyW(DEVINST instance, const DEVPROPKEY* key, DEVPROPTYPE* type,
                                                PBYTE buffer, PULONG size, ULONG flags)
{
    return QUILLON_CFGMGR(CM_Get_DevNode_PropertyW, "CM_Get_DevNode_Property ProcAddress Missing")(
        instance, key, type, buffer, size, flags);
}
FARPROC Win32System::bluetoothPropsEntry(const char* name, const char* missingText)
{
    return entry_of<FARPROC>(module_of(m_bthprops, QUILLON_W("bthprops.cpl"), "LoadLibrary bthprops.cpl failed"), name,
                             missingText);
}
FARPROC Win32System::bluetoothApisEntry(const char* name, const char* missingText)
{
    return entry_of<FARPROC>(
        module_of(m_bluetoothapis, QUILLON_W("BluetoothApis.dll"), "LoadLibrary BluetoothApis.dll failed"), name,
        missingText);
}

#undef QUILLON_HID
#undef QUILLON_SETUPAPI
#undef QUILLON_CFGMGR

std::string Win32System::getDeviceInstanceId(DWORD instance)
{
    ULONG size = 0;
    if (CM_Get_Device_ID_Size(&size, instance, 0) != CR_SUCCESS)
        return std::string();
    std::vector<WCHAR> buffer(size + 1, 0);
    if (CM_Get_Device_IDW(instance, buffer.data(), size + 1, 0) != CR_SUCCESS)
        return std::string();
    buffer.back() = 0;
    return wide_to_lower_utf8(buffer.data());
}

std::string Win32System::getInstanceIdOfInterface(const std::string& path)
{
    if (path.empty())
        return std::string();
    HDEVINFO set = SetupDiCreateDeviceInfoList(nullptr, nullptr);
    if (set == INVALID_HANDLE_VALUE || set == nullptr)
        return std::string();
    std::string result;
    SP_DEVICE_INTERFACE_DATA iface{};
    iface.cbSize = sizeof(iface);
    SP_DEVINFO_DATA element{};
    element.cbSize = sizeof(element);
    const std::vector<WCHAR> wide = utf8_to_wide(path);
    if (SetupDiOpenDeviceInterfaceW(set, wide.data(), 0, &iface) && SetupDiEnumDeviceInfo(set, 0, &element))
        result = getDeviceInstanceId(element.DevInst);
    SetupDiDestroyDeviceInfoList(set);
    return result;
}

std::string Win32System::getParentInstanceId(const std::string& instanceId)
{
    if (instanceId.empty())
        return instanceId;
    HDEVINFO set = SetupDiCreateDeviceInfoList(nullptr, nullptr);
    if (set == INVALID_HANDLE_VALUE || set == nullptr)
        return instanceId;
    std::string result = instanceId;
    SP_DEVINFO_DATA element{};
    element.cbSize = sizeof(element);
    DEVINST parent = 0;
    const std::vector<WCHAR> wide = utf8_to_wide(instanceId);
    if (SetupDiOpenDeviceInfoW(set, wide.data(), nullptr, 0, &element) &&
        CM_Get_Parent(&parent, element.DevInst, 0) == CR_SUCCESS) {
        std::string id = getDeviceInstanceId(parent);
        if (!id.empty())
            result = id;
    }
    SetupDiDestroyDeviceInfoList(set);
    return result;
}

std::string Win32System::findInterfacePath(const std::string& instanceId, const GUID& interfaceClass)
{
    if (instanceId.empty())
        return std::string();
    const std::vector<WCHAR> wide = utf8_to_wide(instanceId);
    HDEVINFO set = SetupDiGetClassDevsW(&interfaceClass, wide.data(), nullptr, DIGCF_PRESENT | DIGCF_DEVICEINTERFACE);
    if (set == INVALID_HANDLE_VALUE || set == nullptr)
        return std::string();
    std::string result;
    SP_DEVICE_INTERFACE_DATA iface{};
    iface.cbSize = sizeof(iface);
    DWORD required = 0;
    if (SetupDiEnumDeviceInterfaces(set, nullptr, &interfaceClass, 0, &iface) &&
        !SetupDiGetDeviceInterfaceDetailW(set, &iface, nullptr, 0, &required, nullptr) &&
        ::GetLastError() == ERROR_INSUFFICIENT_BUFFER && required >= sizeof(SP_DEVICE_INTERFACE_DETAIL_DATA_W)) {
        std::vector<std::uint8_t> storage(required + sizeof(WCHAR), 0);
        auto* detail = reinterpret_cast<PSP_DEVICE_INTERFACE_DETAIL_DATA_W>(storage.data());
        detail->cbSize = sizeof(SP_DEVICE_INTERFACE_DETAIL_DATA_W);
        SP_DEVINFO_DATA element{};
        element.cbSize = sizeof(element);
        if (SetupDiGetDeviceInterfaceDetailW(set, &iface, detail, required, nullptr, &element))
            result = wide_to_lower_utf8(detail->DevicePath);
    }
    SetupDiDestroyDeviceInfoList(set);
    return result;
}

std::vector<std::string> present_interface_paths(IWin32System& system, const GUID& interfaceClass)
{
    std::vector<std::string> paths;
    HDEVINFO set = system.SetupDiGetClassDevsW(&interfaceClass, nullptr, nullptr, DIGCF_PRESENT | DIGCF_DEVICEINTERFACE);
    if (set == INVALID_HANDLE_VALUE)
        return paths;
    for (DWORD index = 0;; ++index) {
        SP_DEVICE_INTERFACE_DATA iface{};
        iface.cbSize = sizeof iface;
        if (!system.SetupDiEnumDeviceInterfaces(set, nullptr, &interfaceClass, index, &iface))
            break;
        DWORD size = 0;
        system.SetupDiGetDeviceInterfaceDetailW(set, &iface, nullptr, 0, &size, nullptr);
        if (size < sizeof(SP_DEVICE_INTERFACE_DETAIL_DATA_W))
            continue;
        std::vector<std::uint64_t> storage((size + 7) / 8 + 1, 0);
        auto* detail = reinterpret_cast<PSP_DEVICE_INTERFACE_DETAIL_DATA_W>(storage.data());
        detail->cbSize = 8;
        SP_DEVINFO_DATA element{};
        element.cbSize = sizeof element;
        if (system.SetupDiGetDeviceInterfaceDetailW(set, &iface, detail, size, nullptr, &element))
            paths.push_back(wide_to_lower_utf8(detail->DevicePath));
    }
    system.SetupDiDestroyDeviceInfoList(set);
    return paths;
}

void wide_to_utf8(const WCHAR* text, std::string& target)
{
    target.clear();
    if (!text)
        return;
    const int length = ::WideCharToMultiByte(CP_UTF8, 0, text, -1, nullptr, 0, nullptr, nullptr);
    if (length <= 1)
        return;
    std::vector<char> buffer(static_cast<std::size_t>(length), 0);
    ::WideCharToMultiByte(CP_UTF8, 0, text, -1, buffer.data(), length, nullptr, nullptr);
    target.assign(buffer.data(), static_cast<std::size_t>(length - 1));
}

std::string wide_to_lower_utf8(const WCHAR* text)
{
    std::string result;
    wide_to_utf8(text, result);
    for (char& c : result)
        if (c >= 'A' && c <= 'Z')
            c = static_cast<char>(c - 'A' + 'a');
    return result;
}

std::vector<WCHAR> utf8_to_wide(std::string text)
{
    const int length = ::MultiByteToWideChar(CP_UTF8, 0, text.c_str(), -1, nullptr, 0);
    if (length <= 0)
        return std::vector<WCHAR>(1, 0);
    std::vector<WCHAR> result(static_cast<std::size_t>(length), 0);
    ::MultiByteToWideChar(CP_UTF8, 0, text.c_str(), -1, result.data(), length);
    result.back() = 0;
    return result;
}

} // namespace devio
