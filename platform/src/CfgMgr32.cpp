// The configuration manager over the simulated device tree.
#include "DeviceTree.h"

#include <cfgmgr32.h>

#include <cstring>

using namespace platform::detail;

CONFIGRET CM_Get_Parent(PDEVINST pdnDevInst, DEVINST dnDevInst, ULONG /*ulFlags*/)
{
    if (!pdnDevInst)
        return CR_INVALID_POINTER;
    *pdnDevInst = 0;
    auto& tree = DeviceTree::instance();
    if (!tree.exists(dnDevInst))
        return CR_INVALID_DEVNODE;
    const auto parent = tree.parentOf(dnDevInst);
    if (!parent)
        return CR_NO_SUCH_DEVNODE;
    *pdnDevInst = *parent;
    return CR_SUCCESS;
}

CONFIGRET CM_Get_Depth(PULONG pulDepth, DEVINST dnDevInst, ULONG /*ulFlags*/)
{
    if (!pulDepth)
        return CR_INVALID_POINTER;
    const auto depth = DeviceTree::instance().depth(dnDevInst);
    if (!depth)
        return CR_INVALID_DEVNODE;
    *pulDepth = *depth;
    return CR_SUCCESS;
}

CONFIGRET CM_Get_Device_ID_Size(PULONG pulLen, DEVINST dnDevInst, ULONG /*ulFlags*/)
{
    if (!pulLen)
        return CR_INVALID_POINTER;
    *pulLen = 0;
    const auto id = DeviceTree::instance().instanceId(dnDevInst);
    if (!id)
        return CR_INVALID_DEVNODE;
    *pulLen = static_cast<ULONG>(id->size());  // without the terminating NUL
    return CR_SUCCESS;
}

CONFIGRET CM_Get_Device_IDW(DEVINST dnDevInst, PWSTR Buffer, ULONG BufferLen, ULONG /*ulFlags*/)
{
    if (!Buffer)
        return CR_INVALID_POINTER;
    const auto id = DeviceTree::instance().instanceId(dnDevInst);
    if (!id)
        return CR_INVALID_DEVNODE;
    if (BufferLen < id->size())
        return CR_BUFFER_SMALL;
    std::memcpy(Buffer, id->data(), id->size() * sizeof(WCHAR));
    if (BufferLen > id->size())
        Buffer[id->size()] = 0;
    return CR_SUCCESS;
}

CONFIGRET CM_Get_Device_IDA(DEVINST dnDevInst, PSTR Buffer, ULONG BufferLen, ULONG /*ulFlags*/)
{
    if (!Buffer)
        return CR_INVALID_POINTER;
    const auto wide = DeviceTree::instance().instanceId(dnDevInst);
    if (!wide)
        return CR_INVALID_DEVNODE;
    const std::string id = utf16_to_utf8(*wide);
    if (BufferLen < id.size())
        return CR_BUFFER_SMALL;
    std::memcpy(Buffer, id.data(), id.size());
    if (BufferLen > id.size())
        Buffer[id.size()] = 0;
    return CR_SUCCESS;
}

CONFIGRET CM_Get_DevNode_PropertyW(DEVINST dnDevInst, const DEVPROPKEY* PropertyKey, DEVPROPTYPE* PropertyType,
                                   PBYTE PropertyBuffer, PULONG PropertyBufferSize, ULONG ulFlags)
{
    if (!PropertyKey || !PropertyType || !PropertyBufferSize)
        return CR_INVALID_POINTER;
    if (ulFlags != 0)
        return CR_INVALID_FLAG;
    auto& tree = DeviceTree::instance();
    if (!tree.exists(dnDevInst))
        return CR_INVALID_DEVNODE;
    const auto prop = tree.property(dnDevInst, *PropertyKey);
    if (!prop)
        return CR_NO_SUCH_VALUE;
    *PropertyType = prop->type;
    const auto need = static_cast<ULONG>(prop->value.size());
    if (!PropertyBuffer || *PropertyBufferSize < need) {
        *PropertyBufferSize = need;
        return CR_BUFFER_SMALL;
    }
    if (need)
        std::memcpy(PropertyBuffer, prop->value.data(), need);
    *PropertyBufferSize = need;
    return CR_SUCCESS;
}

CONFIGRET CM_Locate_DevNodeW(PDEVINST pdnDevInst, const WCHAR* pDeviceID, ULONG ulFlags)
{
    if (!pdnDevInst)
        return CR_INVALID_POINTER;
    *pdnDevInst = 0;
    auto& tree = DeviceTree::instance();
    const std::u16string id = wide_string(pDeviceID);
    const DevInst node = id.empty() ? DeviceTree::kRoot : tree.find(id);
    // Absent nodes are found only when asked for phantoms.
    if (!node || (!(ulFlags & CM_LOCATE_DEVNODE_PHANTOM) && !tree.is_present(node)))
        return CR_NO_SUCH_DEVNODE;
    *pdnDevInst = node;
    return CR_SUCCESS;
}

CONFIGRET CM_Locate_DevNodeA(PDEVINST pdnDevInst, const CHAR* pDeviceID, ULONG ulFlags)
{
    const std::u16string id = pDeviceID ? utf8_to_utf16(pDeviceID) : std::u16string();
    return CM_Locate_DevNodeW(pdnDevInst, pDeviceID ? id.c_str() : nullptr, ulFlags);
}

DWORD CMP_WaitNoPendingInstallEvents(DWORD /*dwTimeout*/)
{
    // The simulated machine installs drivers instantly.
    return WAIT_OBJECT_0;
}
