// SetupAPI over the simulated device tree.
#include "DeviceTree.h"

#include <cfgmgr32.h>
#include <setupapi.h>

#include <cstring>
#include <mutex>
#include <set>
#include <vector>

namespace platform::detail {

namespace {

// A device information set: elements (device nodes) and the interfaces found or opened in it,
// both snapshots taken when they joined the set.
struct InfoSet {
    std::vector<DevInst> elements;
    std::vector<InterfaceRef> interfaces;
    std::vector<bool> interfacePresent;
};

std::mutex g_setsMutex;
std::set<InfoSet*> g_sets;

// Runs `body` on a live set under the sets lock; an unknown set fails with ERROR_INVALID_HANDLE.
template <class Body>
BOOL with_set(HDEVINFO handle, Body body)
{
    std::lock_guard<std::mutex> lock(g_setsMutex);
    auto* set = static_cast<InfoSet*>(handle);
    if (!set || handle == INVALID_HANDLE_VALUE || g_sets.count(set) == 0) {
        SetLastError(ERROR_INVALID_HANDLE);
        return FALSE;
    }
    return body(*set);
}

HDEVINFO new_set(InfoSet* set)
{
    std::lock_guard<std::mutex> lock(g_setsMutex);
    g_sets.insert(set);
    return set;
}

void add_element(InfoSet& set, DevInst node)
{
    for (DevInst e : set.elements)
        if (e == node)
            return;
    set.elements.push_back(node);
}

void fill_devinfo(SP_DEVINFO_DATA& data, DevInst node)
{
    std::memset(&data.ClassGuid, 0, sizeof data.ClassGuid);
    data.DevInst = node;
    data.Reserved = 0;
}

bool check_size(const void* record, DWORD cbSize)
{
    return record == nullptr || *static_cast<const DWORD*>(record) == cbSize;
}

// The interface a SP_DEVICE_INTERFACE_DATA of this set stands for.
const InterfaceRef* interface_of(const InfoSet& set, const SP_DEVICE_INTERFACE_DATA* data)
{
    if (!data || data->cbSize != sizeof(SP_DEVICE_INTERFACE_DATA) || data->Reserved == 0 ||
        data->Reserved > set.interfaces.size())
        return nullptr;
    return &set.interfaces[data->Reserved - 1];
}

std::size_t add_interface(InfoSet& set, const InterfaceRef& itf, bool present)
{
    for (std::size_t i = 0; i < set.interfaces.size(); ++i)
        if (set.interfaces[i].node == itf.node && equalsNoCase(set.interfaces[i].path, itf.path))
            return i;
    set.interfaces.push_back(itf);
    set.interfacePresent.push_back(present);
    add_element(set, itf.node);
    return set.interfaces.size() - 1;
}

void fill_interface(const InfoSet& set, std::size_t index, SP_DEVICE_INTERFACE_DATA& data)
{
    data.InterfaceClassGuid = set.interfaces[index].interfaceClass;
    data.Flags = set.interfacePresent[index] ? SPINT_ACTIVE : 0;
    data.Reserved = index + 1;
}

// Reads a node property into a caller's buffer the way SetupAPI does (Win32 errors).
BOOL copy_property(const std::optional<DeviceProperty>& prop, DEVPROPTYPE* type, PBYTE buffer, DWORD size,
                   PDWORD required)
{
    if (!prop) {
        SetLastError(ERROR_NOT_FOUND);
        return FALSE;
    }
    if (type)
        *type = prop->type;
    const auto need = static_cast<DWORD>(prop->value.size());
    if (required)
        *required = need;
    if (!buffer || size < need) {
        SetLastError(ERROR_INSUFFICIENT_BUFFER);
        return FALSE;
    }
    if (need)
        std::memcpy(buffer, prop->value.data(), need);
    return TRUE;
}

}  // namespace

}  // namespace platform::detail

using namespace platform::detail;

HDEVINFO SetupDiCreateDeviceInfoList(const GUID* /*ClassGuid*/, HWND /*hwndParent*/)
{
    DeviceTree::instance();
    return new_set(new InfoSet());
}

BOOL SetupDiDestroyDeviceInfoList(HDEVINFO DeviceInfoSet)
{
    std::lock_guard<std::mutex> lock(g_setsMutex);
    auto* set = static_cast<InfoSet*>(DeviceInfoSet);
    if (!set || g_sets.erase(set) == 0) {
        SetLastError(ERROR_INVALID_HANDLE);
        return FALSE;
    }
    delete set;
    return TRUE;
}

HDEVINFO SetupDiGetClassDevsW(const GUID* ClassGuid, PCWSTR Enumerator, HWND /*hwndParent*/, DWORD Flags)
{
    auto& tree = DeviceTree::instance();
    const bool present = (Flags & DIGCF_PRESENT) != 0;
    const bool allClasses = (Flags & DIGCF_ALLCLASSES) != 0;
    if (!ClassGuid && !allClasses) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return INVALID_HANDLE_VALUE;
    }
    // The enumerator is a device instance id, or else the name of an enumerator ("USB", "HID").
    const std::u16string enumerator = wide_string(Enumerator);
    DevInst only = 0;
    if (!enumerator.empty())
        only = tree.find(enumerator);
    auto matches = [&](DevInst node) {
        if (enumerator.empty())
            return true;
        if (only)
            return node == only;
        auto id = tree.instanceId(node);
        if (!id)
            return false;
        return equalsNoCase(id->substr(0, id->find(u'\\')), enumerator);
    };
    auto* set = new InfoSet();
    if (Flags & DIGCF_DEVICEINTERFACE) {
        for (const auto& itf : tree.interfaces(allClasses ? nullptr : ClassGuid, present))
            if (matches(itf.node))
                add_interface(*set, itf, tree.is_present(itf.node));
    } else {
        // Setup classes are not modelled: every node counts as one of any class asked for.
        for (DevInst node : tree.nodes(present))
            if (node != DeviceTree::kRoot && matches(node))
                add_element(*set, node);
    }
    return new_set(set);
}

BOOL SetupDiEnumDeviceInfo(HDEVINFO DeviceInfoSet, DWORD MemberIndex, PSP_DEVINFO_DATA DeviceInfoData)
{
    return with_set(DeviceInfoSet, [&](InfoSet& set) -> BOOL {
        if (!DeviceInfoData || DeviceInfoData->cbSize != sizeof(SP_DEVINFO_DATA)) {
            SetLastError(ERROR_INVALID_USER_BUFFER);
            return FALSE;
        }
        if (MemberIndex >= set.elements.size()) {
            SetLastError(ERROR_NO_MORE_ITEMS);
            return FALSE;
        }
        fill_devinfo(*DeviceInfoData, set.elements[MemberIndex]);
        return TRUE;
    });
}

BOOL SetupDiEnumDeviceInterfaces(HDEVINFO DeviceInfoSet, PSP_DEVINFO_DATA DeviceInfoData, const GUID* InterfaceClassGuid,
                                 DWORD MemberIndex, PSP_DEVICE_INTERFACE_DATA DeviceInterfaceData)
{
    return with_set(DeviceInfoSet, [&](InfoSet& set) -> BOOL {
        if (!InterfaceClassGuid) {
            SetLastError(ERROR_INVALID_PARAMETER);
            return FALSE;
        }
        if (!DeviceInterfaceData || DeviceInterfaceData->cbSize != sizeof(SP_DEVICE_INTERFACE_DATA) ||
            !check_size(DeviceInfoData, sizeof(SP_DEVINFO_DATA))) {
            SetLastError(ERROR_INVALID_USER_BUFFER);
            return FALSE;
        }
        DWORD seen = 0;
        for (std::size_t i = 0; i < set.interfaces.size(); ++i) {
            const auto& itf = set.interfaces[i];
            if (!(itf.interfaceClass == *InterfaceClassGuid))
                continue;
            if (DeviceInfoData && itf.node != DeviceInfoData->DevInst)
                continue;
            if (seen++ == MemberIndex) {
                fill_interface(set, i, *DeviceInterfaceData);
                return TRUE;
            }
        }
        SetLastError(ERROR_NO_MORE_ITEMS);
        return FALSE;
    });
}

BOOL SetupDiGetDeviceInterfaceDetailW(HDEVINFO DeviceInfoSet, PSP_DEVICE_INTERFACE_DATA DeviceInterfaceData,
                                      PSP_DEVICE_INTERFACE_DETAIL_DATA_W DeviceInterfaceDetailData,
                                      DWORD DeviceInterfaceDetailDataSize, PDWORD RequiredSize,
                                      PSP_DEVINFO_DATA DeviceInfoData)
{
    return with_set(DeviceInfoSet, [&](InfoSet& set) -> BOOL {
        const InterfaceRef* itf = interface_of(set, DeviceInterfaceData);
        if (!itf) {
            SetLastError(ERROR_INVALID_PARAMETER);
            return FALSE;
        }
        if ((!DeviceInterfaceDetailData && DeviceInterfaceDetailDataSize != 0) ||
            (DeviceInterfaceDetailData && DeviceInterfaceDetailData->cbSize != sizeof(SP_DEVICE_INTERFACE_DETAIL_DATA_W)) ||
            !check_size(DeviceInfoData, sizeof(SP_DEVINFO_DATA))) {
            SetLastError(ERROR_INVALID_USER_BUFFER);
            return FALSE;
        }
        const auto need = static_cast<DWORD>(offsetof(SP_DEVICE_INTERFACE_DETAIL_DATA_W, DevicePath) +
                                             (itf->path.size() + 1) * sizeof(WCHAR));
        if (RequiredSize)
            *RequiredSize = need;
        if (DeviceInfoData)
            fill_devinfo(*DeviceInfoData, itf->node);
        if (!DeviceInterfaceDetailData || DeviceInterfaceDetailDataSize < need) {
            SetLastError(ERROR_INSUFFICIENT_BUFFER);
            return FALSE;
        }
        std::memcpy(DeviceInterfaceDetailData->DevicePath, itf->path.c_str(), (itf->path.size() + 1) * sizeof(WCHAR));
        return TRUE;
    });
}

BOOL SetupDiOpenDeviceInterfaceW(HDEVINFO DeviceInfoSet, PCWSTR DevicePath, DWORD /*OpenFlags*/,
                                 PSP_DEVICE_INTERFACE_DATA DeviceInterfaceData)
{
    auto& tree = DeviceTree::instance();
    const auto itf = tree.findInterface(wide_string(DevicePath));
    const bool present = itf && tree.is_present(itf->node);
    return with_set(DeviceInfoSet, [&](InfoSet& set) -> BOOL {
        if (!check_size(DeviceInterfaceData, sizeof(SP_DEVICE_INTERFACE_DATA))) {
            SetLastError(ERROR_INVALID_USER_BUFFER);
            return FALSE;
        }
        // Only the interface's own path opens it, not a path with a file name behind it.
        if (!itf || itf->path.size() != wide_string(DevicePath).size()) {
            SetLastError(ERROR_NO_SUCH_DEVICE_INTERFACE);
            return FALSE;
        }
        const std::size_t index = add_interface(set, *itf, present);
        if (DeviceInterfaceData)
            fill_interface(set, index, *DeviceInterfaceData);
        return TRUE;
    });
}

BOOL SetupDiOpenDeviceInfoW(HDEVINFO DeviceInfoSet, PCWSTR DeviceInstanceId, HWND /*hwndParent*/, DWORD /*OpenFlags*/,
                            PSP_DEVINFO_DATA DeviceInfoData)
{
    const DevInst node = DeviceTree::instance().find(wide_string(DeviceInstanceId));
    return with_set(DeviceInfoSet, [&](InfoSet& set) -> BOOL {
        if (!check_size(DeviceInfoData, sizeof(SP_DEVINFO_DATA))) {
            SetLastError(ERROR_INVALID_USER_BUFFER);
            return FALSE;
        }
        if (!node) {
            SetLastError(ERROR_NO_SUCH_DEVINST);
            return FALSE;
        }
        add_element(set, node);
        if (DeviceInfoData)
            fill_devinfo(*DeviceInfoData, node);
        return TRUE;
    });
}

BOOL SetupDiGetDevicePropertyW(HDEVINFO DeviceInfoSet, PSP_DEVINFO_DATA DeviceInfoData, const DEVPROPKEY* PropertyKey,
                               DEVPROPTYPE* PropertyType, PBYTE PropertyBuffer, DWORD PropertyBufferSize,
                               PDWORD RequiredSize, DWORD Flags)
{
    return with_set(DeviceInfoSet, [&](InfoSet&) -> BOOL {
        if (!DeviceInfoData || DeviceInfoData->cbSize != sizeof(SP_DEVINFO_DATA)) {
            SetLastError(ERROR_INVALID_USER_BUFFER);
            return FALSE;
        }
        if (!PropertyKey || !PropertyType || Flags != 0) {
            SetLastError(Flags != 0 ? ERROR_INVALID_FLAGS : ERROR_INVALID_PARAMETER);
            return FALSE;
        }
        auto& tree = DeviceTree::instance();
        if (!tree.exists(DeviceInfoData->DevInst)) {
            SetLastError(ERROR_NO_SUCH_DEVINST);
            return FALSE;
        }
        return copy_property(tree.property(DeviceInfoData->DevInst, *PropertyKey), PropertyType, PropertyBuffer,
                             PropertyBufferSize, RequiredSize);
    });
}

BOOL SetupDiGetDeviceRegistryPropertyW(HDEVINFO DeviceInfoSet, PSP_DEVINFO_DATA DeviceInfoData, DWORD Property,
                                       PDWORD PropertyRegDataType, PBYTE PropertyBuffer, DWORD PropertyBufferSize,
                                       PDWORD RequiredSize)
{
    return with_set(DeviceInfoSet, [&](InfoSet&) -> BOOL {
        if (!DeviceInfoData || DeviceInfoData->cbSize != sizeof(SP_DEVINFO_DATA)) {
            SetLastError(ERROR_INVALID_USER_BUFFER);
            return FALSE;
        }
        auto& tree = DeviceTree::instance();
        const DevInst node = DeviceInfoData->DevInst;
        if (!tree.exists(node)) {
            SetLastError(ERROR_NO_SUCH_DEVINST);
            return FALSE;
        }
        // Only what the device tree knows: the enumerator, and the hardware id (the instance id
        // without its instance part) as a one-entry multi-string.
        std::optional<DeviceProperty> prop;
        DWORD regType = REG_SZ;
        if (Property == SPDRP_ENUMERATOR_NAME) {
            prop = tree.property(node, kEnumeratorNameKey);
        } else if (Property == SPDRP_HARDWAREID) {
            std::u16string id = *tree.instanceId(node);
            id = id.substr(0, id.rfind(u'\\'));
            id.push_back(u'\0');
            DeviceProperty p;
            const auto* bytes = reinterpret_cast<const std::uint8_t*>(id.c_str());
            p.value.assign(bytes, bytes + (id.size() + 1) * sizeof(WCHAR));
            prop = p;
            regType = REG_MULTI_SZ;
        } else {
            SetLastError(ERROR_INVALID_DATA);
            return FALSE;
        }
        if (!prop) {
            SetLastError(ERROR_INVALID_DATA);
            return FALSE;
        }
        if (PropertyRegDataType)
            *PropertyRegDataType = regType;
        DEVPROPTYPE ignored = 0;
        return copy_property(prop, &ignored, PropertyBuffer, PropertyBufferSize, RequiredSize);
    });
}

HKEY SetupDiOpenDeviceInterfaceRegKey(HDEVINFO DeviceInfoSet, PSP_DEVICE_INTERFACE_DATA DeviceInterfaceData,
                                      DWORD Reserved, REGSAM samDesired)
{
    const auto invalid = reinterpret_cast<HKEY>(INVALID_HANDLE_VALUE);
    std::u16string key;
    const BOOL known = with_set(DeviceInfoSet, [&](InfoSet& set) -> BOOL {
        const InterfaceRef* itf = interface_of(set, DeviceInterfaceData);
        if (!itf || Reserved != 0) {
            SetLastError(ERROR_INVALID_PARAMETER);
            return FALSE;
        }
        key = interface_key(itf->interfaceClass, itf->path);
        return TRUE;
    });
    if (!known)
        return invalid;
    HKEY result = nullptr;
    const LSTATUS status = RegOpenKeyExW(HKEY_LOCAL_MACHINE, key.c_str(), 0, samDesired, &result);
    if (status != ERROR_SUCCESS) {
        SetLastError(static_cast<DWORD>(status));
        return invalid;
    }
    return result;
}
