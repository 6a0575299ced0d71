// The configuration manager over the simulated device tree.
#include "DeviceTree.h"

#include <cfgmgr32.h>

#include <cstring>
#include <optional>
#include <string>

using namespace platform::detail;

namespace {

// One number about a device node: CR_INVALID_POINTER without a place for it, else the number or,
// with the place zeroed, `missing`.
template <class T>
CONFIGRET answer(PULONG out, const std::optional<T>& value, CONFIGRET missing = CR_INVALID_DEVNODE)
{
    if (!out)
        return CR_INVALID_POINTER;
    *out = value ? static_cast<ULONG>(*value) : 0;
    return value ? CR_SUCCESS : missing;
}

// An instance id into a caller's buffer; the NUL only when there is room for it.
template <class Char>
CONFIGRET copy_id(const std::basic_string<Char>& id, Char* buffer, ULONG length)
{
    if (length < id.size())
        return CR_BUFFER_SMALL;
    std::memcpy(buffer, id.data(), id.size() * sizeof(Char));
    if (length > id.size())
        buffer[id.size()] = 0;
    return CR_SUCCESS;
}

}  // namespace

CONFIGRET CM_Get_Parent(PDEVINST pdnDevInst, DEVINST dnDevInst, ULONG /*ulFlags*/)
{
    auto& tree = DeviceTree::instance();
    // The root has no parent; an unknown node is no node at all.
    return answer(pdnDevInst, tree.parentOf(dnDevInst), tree.exists(dnDevInst) ? CR_NO_SUCH_DEVNODE : CR_INVALID_DEVNODE);
}

CONFIGRET CM_Get_Depth(PULONG pulDepth, DEVINST dnDevInst, ULONG /*ulFlags*/)
{
    return answer(pulDepth, DeviceTree::instance().depth(dnDevInst));
}

CONFIGRET CM_Get_Device_ID_Size(PULONG pulLen, DEVINST dnDevInst, ULONG /*ulFlags*/)
{
    const auto id = DeviceTree::instance().instanceId(dnDevInst);
    // Without the terminating NUL.
    return answer(pulLen, id ? std::optional<std::size_t>(id->size()) : std::nullopt);
}

CONFIGRET CM_Get_Device_IDW(DEVINST dnDevInst, PWSTR Buffer, ULONG BufferLen, ULONG /*ulFlags*/)
{
    if (!Buffer)
        return CR_INVALID_POINTER;
    const auto id = DeviceTree::instance().instanceId(dnDevInst);
    return id ? copy_id(*id, Buffer, BufferLen) : CR_INVALID_DEVNODE;
}

CONFIGRET CM_Get_Device_IDA(DEVINST dnDevInst, PSTR Buffer, ULONG BufferLen, ULONG /*ulFlags*/)
{
    if (!Buffer)
        return CR_INVALID_POINTER;
    const auto id = DeviceTree::instance().instanceId(dnDevInst);
    return id ? copy_id(utf16_to_utf8(*id), Buffer, BufferLen) : CR_INVALID_DEVNODE;
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
