// Puts the device half of the platform in place: the built-in modules "hid.dll",
// "setupapi.dll" and "cfgmgr32.dll", the CreateFileW hook for device paths, and the reset of
// the device tree with the machine.
#include "DeviceTree.h"
#include "HidFile.h"

#include <cfgmgr32.h>
#include <hidsdi.h>
#include <setupapi.h>

#include <map>
#include <mutex>
#include <string>

namespace platform::detail {

namespace {

template <class F>
FARPROC entry(F* function)
{
    // Through void(*)(), the one function pointer type every other converts to without complaint.
    return reinterpret_cast<FARPROC>(reinterpret_cast<void (*)()>(function));
}

void reset_devices()
{
    DeviceTree::instance().removeAll();
}

}  // namespace

void install_device_support()
{
    static std::once_flag once;
    std::call_once(once, [] {
        register_module("hid.dll", {
            {"HidD_GetHidGuid", entry(&HidD_GetHidGuid)},
            {"HidD_GetAttributes", entry(&HidD_GetAttributes)},
            {"HidD_GetProductString", entry(&HidD_GetProductString)},
            {"HidD_GetSerialNumberString", entry(&HidD_GetSerialNumberString)},
            {"HidD_GetIndexedString", entry(&HidD_GetIndexedString)},
            {"HidD_GetPreparsedData", entry(&HidD_GetPreparsedData)},
            {"HidD_FreePreparsedData", entry(&HidD_FreePreparsedData)},
            {"HidP_GetCaps", entry(&HidP_GetCaps)},
            {"HidP_GetValueCaps", entry(&HidP_GetValueCaps)},
            {"HidP_GetButtonCaps", entry(&HidP_GetButtonCaps)},
            {"HidP_GetSpecificButtonCaps", entry(&HidP_GetSpecificButtonCaps)},
            {"HidP_GetLinkCollectionNodes", entry(&HidP_GetLinkCollectionNodes)},
            {"HidP_GetUsages", entry(&HidP_GetUsages)},
            {"HidP_GetUsagesEx", entry(&HidP_GetUsagesEx)},
            {"HidP_SetUsages", entry(&HidP_SetUsages)},
            {"HidP_UnsetUsages", entry(&HidP_UnsetUsages)},
            {"HidP_GetUsageValue", entry(&HidP_GetUsageValue)},
            {"HidP_TranslateUsagesToI8042ScanCodes", entry(&HidP_TranslateUsagesToI8042ScanCodes)},
        });
        // SetupAPI forwards the configuration manager's entry points, as cfgmgr32.dll offers them.
        std::map<std::string, FARPROC> configManager = {
            {"CM_Get_Parent", entry(&CM_Get_Parent)},
            {"CM_Get_Depth", entry(&CM_Get_Depth)},
            {"CM_Get_Device_ID_Size", entry(&CM_Get_Device_ID_Size)},
            {"CM_Get_Device_IDW", entry(&CM_Get_Device_IDW)},
            {"CM_Get_Device_IDA", entry(&CM_Get_Device_IDA)},
            {"CM_Get_DevNode_PropertyW", entry(&CM_Get_DevNode_PropertyW)},
            {"CM_Locate_DevNodeW", entry(&CM_Locate_DevNodeW)},
            {"CM_Locate_DevNodeA", entry(&CM_Locate_DevNodeA)},
            {"CMP_WaitNoPendingInstallEvents", entry(&CMP_WaitNoPendingInstallEvents)},
        };
        register_module("cfgmgr32.dll", configManager);
        configManager.insert({
            {"SetupDiGetClassDevsW", entry(&SetupDiGetClassDevsW)},
            {"SetupDiCreateDeviceInfoList", entry(&SetupDiCreateDeviceInfoList)},
            {"SetupDiDestroyDeviceInfoList", entry(&SetupDiDestroyDeviceInfoList)},
            {"SetupDiEnumDeviceInfo", entry(&SetupDiEnumDeviceInfo)},
            {"SetupDiEnumDeviceInterfaces", entry(&SetupDiEnumDeviceInterfaces)},
            {"SetupDiGetDeviceInterfaceDetailW", entry(&SetupDiGetDeviceInterfaceDetailW)},
            {"SetupDiOpenDeviceInterfaceW", entry(&SetupDiOpenDeviceInterfaceW)},
            {"SetupDiOpenDeviceInfoW", entry(&SetupDiOpenDeviceInfoW)},
            {"SetupDiGetDevicePropertyW", entry(&SetupDiGetDevicePropertyW)},
            {"SetupDiGetDeviceRegistryPropertyW", entry(&SetupDiGetDeviceRegistryPropertyW)},
            {"SetupDiOpenDeviceInterfaceRegKey", entry(&SetupDiOpenDeviceInterfaceRegKey)},
        });
        register_module("setupapi.dll", configManager);
        set_device_open_hook(&HidFile::open);
        add_reset_hook(&reset_devices);
    });
}

namespace {
// Linked in with any device function: the modules exist before anyone loads them.
const bool g_installed = (install_device_support(), true);
}  // namespace

}  // namespace platform::detail
