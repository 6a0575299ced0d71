// Run-time bound table of the HID, SetupAPI, configuration-manager and Bluetooth entry
// points. A missing library or entry point becomes a DevioException (code 31) of the call
// that needs it, never a failure to start. Callers hold the abstract table so that another
// implementation can stand in.
#pragma once

#include <windows.h>
#include <cfgmgr32.h>
#include <hidsdi.h>
#include <setupapi.h>

#include <atomic>
#include <string>
#include <vector>

namespace devio {

class IWin32System {
public:
    virtual ~IWin32System() = default;

    virtual void HidD_GetHidGuid(LPGUID hidGuid) = 0;
    virtual BOOLEAN HidD_GetAttributes(HANDLE device, PHIDD_ATTRIBUTES attributes) = 0;
    virtual BOOLEAN HidD_GetProductString(HANDLE device, PVOID buffer, ULONG length) = 0;
    virtual BOOLEAN HidD_GetPreparsedData(HANDLE device, PHIDP_PREPARSED_DATA* data) = 0;
    virtual BOOLEAN HidD_FreePreparsedData(PHIDP_PREPARSED_DATA data) = 0;
    virtual NTSTATUS HidP_GetCaps(PHIDP_PREPARSED_DATA data, PHIDP_CAPS caps) = 0;
    virtual NTSTATUS HidP_GetValueCaps(HIDP_REPORT_TYPE type, PHIDP_VALUE_CAPS caps, USHORT* length,
                                       PHIDP_PREPARSED_DATA data) = 0;
    virtual NTSTATUS HidP_GetButtonCaps(HIDP_REPORT_TYPE type, PHIDP_BUTTON_CAPS caps, USHORT* length,
                                        PHIDP_PREPARSED_DATA data) = 0;
    virtual NTSTATUS HidP_GetLinkCollectionNodes(PHIDP_LINK_COLLECTION_NODE nodes, PULONG length,
                                                 PHIDP_PREPARSED_DATA data) = 0;
    virtual HANDLE CreateFileW(LPCWSTR name, DWORD access, DWORD share, LPSECURITY_ATTRIBUTES security,
                               DWORD creation, DWORD flags, HANDLE templateFile) = 0;
    virtual HDEVNOTIFY RegisterDeviceNotificationW(HANDLE recipient, LPVOID filter, DWORD flags) = 0;
    virtual HDEVINFO SetupDiCreateDeviceInfoList(const GUID* classGuid, HWND parent) = 0;
    virtual BOOL SetupDiOpenDeviceInterfaceW(HDEVINFO set, PCWSTR path, DWORD flags,
                                             PSP_DEVICE_INTERFACE_DATA data) = 0;
    virtual BOOL SetupDiEnumDeviceInfo(HDEVINFO set, DWORD index, PSP_DEVINFO_DATA data) = 0;
    virtual BOOL SetupDiOpenDeviceInfoW(HDEVINFO set, PCWSTR instanceId, HWND parent, DWORD flags,
                                        PSP_DEVINFO_DATA data) = 0;
    virtual BOOL SetupDiGetDevicePropertyW(HDEVINFO set, PSP_DEVINFO_DATA data, const DEVPROPKEY* key,
                                           DEVPROPTYPE* type, PBYTE buffer, DWORD size, PDWORD required,
                                           DWORD flags) = 0;
    virtual HDEVINFO SetupDiGetClassDevsW(const GUID* classGuid, PCWSTR enumerator, HWND parent, DWORD flags) = 0;
    virtual BOOL SetupDiDestroyDeviceInfoList(HDEVINFO set) = 0;
    virtual BOOL SetupDiEnumDeviceInterfaces(HDEVINFO set, PSP_DEVINFO_DATA element, const GUID* classGuid,
                                             DWORD index, PSP_DEVICE_INTERFACE_DATA data) = 0;
    virtual BOOL SetupDiGetDeviceInterfaceDetailW(HDEVINFO set, PSP_DEVICE_INTERFACE_DATA data,
                                                  PSP_DEVICE_INTERFACE_DETAIL_DATA_W detail, DWORD size,
                                                  PDWORD required, PSP_DEVINFO_DATA element) = 0;
    virtual HMODULE getCfgMgr32Module() = 0;
    virtual CONFIGRET CM_Get_Parent(PDEVINST parent, DEVINST instance, ULONG flags) = 0;
    virtual CONFIGRET CM_Get_Device_ID_Size(PULONG length, DEVINST instance, ULONG flags) = 0;
    virtual CONFIGRET CM_Get_Device_IDW(DEVINST instance, PWSTR buffer, ULONG length, ULONG flags) = 0;
    virtual CONFIGRET CM_Get_DevNode_PropertyW(DEVINST instance, const DEVPROPKEY* key, DEVPROPTYPE* type,
                                               PBYTE buffer, PULONG size, ULONG flags) = 0;
    // Bluetooth entry points, looked up by name in bthprops.cpl and BluetoothApis.dll; the
    // Bluetooth transports cast the result to the entry point's own type.
    virtual FARPROC bluetoothPropsEntry(const char* name, const char* missingText) = 0;
    virtual FARPROC bluetoothApisEntry(const char* name, const char* missingText) = 0;

    // Composites: ids and paths come back lower-case.
    virtual std::string getParentInstanceId(const std::string& instanceId) = 0;
    virtual std::string getDeviceInstanceId(DWORD instance) = 0;
    virtual std::string getInstanceIdOfInterface(const std::string& path) = 0;
    virtual std::string findInterfacePath(const std::string& instanceId, const GUID& interfaceClass) = 0;
};

class Win32System : public IWin32System {
public:
    Win32System() = default;
    ~Win32System() override;
    Win32System(const Win32System&) = delete;
    Win32System& operator=(const Win32System&) = delete;

    void HidD_GetHidGuid(LPGUID hidGuid) override;
    BOOLEAN HidD_GetAttributes(HANDLE device, PHIDD_ATTRIBUTES attributes) override;
    BOOLEAN HidD_GetProductString(HANDLE device, PVOID buffer, ULONG length) override;
    BOOLEAN HidD_GetPreparsedData(HANDLE device, PHIDP_PREPARSED_DATA* data) override;
    BOOLEAN HidD_FreePreparsedData(PHIDP_PREPARSED_DATA data) override;
    NTSTATUS HidP_GetCaps(PHIDP_PREPARSED_DATA data, PHIDP_CAPS caps) override;
    NTSTATUS HidP_GetValueCaps(HIDP_REPORT_TYPE type, PHIDP_VALUE_CAPS caps, USHORT* length,
                               PHIDP_PREPARSED_DATA data) override;
    NTSTATUS HidP_GetButtonCaps(HIDP_REPORT_TYPE type, PHIDP_BUTTON_CAPS caps, USHORT* length,
                                PHIDP_PREPARSED_DATA data) override;
    NTSTATUS HidP_GetLinkCollectionNodes(PHIDP_LINK_COLLECTION_NODE nodes, PULONG length,
                                         PHIDP_PREPARSED_DATA data) override;
    HANDLE CreateFileW(LPCWSTR name, DWORD access, DWORD share, LPSECURITY_ATTRIBUTES security, DWORD creation,
                       DWORD flags, HANDLE templateFile) override;
    HDEVNOTIFY RegisterDeviceNotificationW(HANDLE recipient, LPVOID filter, DWORD flags) override;
    HDEVINFO SetupDiCreateDeviceInfoList(const GUID* classGuid, HWND parent) override;
    BOOL SetupDiOpenDeviceInterfaceW(HDEVINFO set, PCWSTR path, DWORD flags, PSP_DEVICE_INTERFACE_DATA data) override;
    BOOL SetupDiEnumDeviceInfo(HDEVINFO set, DWORD index, PSP_DEVINFO_DATA data) override;
    BOOL SetupDiOpenDeviceInfoW(HDEVINFO set, PCWSTR instanceId, HWND parent, DWORD flags,
                                PSP_DEVINFO_DATA data) override;
    BOOL SetupDiGetDevicePropertyW(HDEVINFO set, PSP_DEVINFO_DATA data, const DEVPROPKEY* key, DEVPROPTYPE* type,
                                   PBYTE buffer, DWORD size, PDWORD required, DWORD flags) override;
    HDEVINFO SetupDiGetClassDevsW(const GUID* classGuid, PCWSTR enumerator, HWND parent, DWORD flags) override;
    BOOL SetupDiDestroyDeviceInfoList(HDEVINFO set) override;
    BOOL SetupDiEnumDeviceInterfaces(HDEVINFO set, PSP_DEVINFO_DATA element, const GUID* classGuid, DWORD index,
                                     PSP_DEVICE_INTERFACE_DATA data) override;
    BOOL SetupDiGetDeviceInterfaceDetailW(HDEVINFO set, PSP_DEVICE_INTERFACE_DATA data,
                                          PSP_DEVICE_INTERFACE_DETAIL_DATA_W detail, DWORD size, PDWORD required,
                                          PSP_DEVINFO_DATA element) override;
    HMODULE getCfgMgr32Module() override;
    CONFIGRET CM_Get_Parent(PDEVINST parent, DEVINST instance, ULONG flags) override;
    CONFIGRET CM_Get_Device_ID_Size(PULONG length, DEVINST instance, ULONG flags) override;
    CONFIGRET CM_Get_Device_IDW(DEVINST instance, PWSTR buffer, ULONG length, ULONG flags) override;
    CONFIGRET CM_Get_DevNode_PropertyW(DEVINST instance, const DEVPROPKEY* key, DEVPROPTYPE* type, PBYTE buffer,
                                       PULONG size, ULONG flags) override;
    FARPROC bluetoothPropsEntry(const char* name, const char* missingText) override;
    FARPROC bluetoothApisEntry(const char* name, const char* missingText) override;

    std::string getParentInstanceId(const std::string& instanceId) override;
    std::string getDeviceInstanceId(DWORD instance) override;
    std::string getInstanceIdOfInterface(const std::string& path) override;
    std::string findInterfacePath(const std::string& instanceId, const GUID& interfaceClass) override;

private:
    std::atomic<HMODULE> m_setupapi{nullptr};
    std::atomic<HMODULE> m_hid{nullptr};
    std::atomic<HMODULE> m_cfgmgr32{nullptr};
    std::atomic<HMODULE> m_bthprops{nullptr};
    std::atomic<HMODULE> m_bluetoothapis{nullptr};
};

// Paths (lowered) of the present interfaces of a class, in the system's order; an interface whose
// detail cannot be read is passed over, and a class the system cannot list gives none.
std::vector<std::string> present_interface_paths(IWin32System& system, const GUID& interfaceClass);

// UTF-16 (NUL-terminated) to UTF-8 with ASCII letters lowered: paths and ids compare byte-wise.
std::string wide_to_lower_utf8(const WCHAR* text);
// UTF-16 (NUL-terminated) to UTF-8, case kept.
void wide_to_utf8(const WCHAR* text, std::string& target);
// UTF-8 to NUL-terminated UTF-16.
std::vector<WCHAR> utf8_to_wide(std::string text);

} // namespace devio
