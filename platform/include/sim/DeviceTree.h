// Control of the simulated machine's device tree: device nodes, their properties and
// interfaces, and plugging or unplugging them (which sends the device-change notifications).
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include <devpropdef.h>

namespace platform::sim {

// The configuration manager's handle of a device node (DEVINST). 0 is "none".
using DevInst = std::uint32_t;

// How a device leaves: orderly asks the handle watchers first (DBT_DEVICEQUERYREMOVE);
// surprise just vanishes.
enum class Removal { Orderly, Surprise };

struct DevNodeLayout {
    std::string instanceId;  // e.g. "USB\\VID_7E51&PID_C52B\\6&1A2B3C4D&0&2"; unique, compared case-insensitively
    DevInst parent = 0;      // 0: below the root of the tree
    // DEVPKEY_Device_EnumeratorName. Empty optional: the property is missing.
    std::optional<std::string> enumeratorName;
};

// The part of an instance id before its first backslash ("USB" for "USB\\VID...").
std::string enumerator_of(const std::string& instanceId);

// A new device node, absent until plugged. Throws std::invalid_argument for an empty or
// taken instance id or an unknown parent.
DevInst add_dev_node(const DevNodeLayout& layout);
// Forgets the node and everything below it (a present node is surprise-removed first).
void remove_dev_node(DevInst node);
// Forgets every node the tests or scenarios made; the tree is empty again.
void remove_all_dev_nodes();

void set_string_property(DevInst node, const DEVPROPKEY& key, const std::string& utf8);
void set_property(DevInst node, const DEVPROPKEY& key, DEVPROPTYPE type, const std::vector<std::uint8_t>& value);
void remove_property(DevInst node, const DEVPROPKEY& key);

// A device interface of any class on the node. The path is kept in the case given and
// found again case-insensitively.
void add_interface(DevInst node, const GUID& interfaceClass, const std::string& path);
// The HKEY_LOCAL_MACHINE subkey that SetupDiOpenDeviceInterfaceRegKey opens for the interface
// with that path (seed it to give the interface settings); empty when there is no such interface.
std::string device_interface_key(const std::string& path);

// The node, its absent ancestors (alone) and its subtree become present: DBT_DEVICEARRIVAL for
// each of their interfaces.
// Returns once every registered window has handled the notifications.
void plug(DevInst node);
// The node and its subtree leave (see Removal). Open handles of their HID collections fail
// from then on with ERROR_DEVICE_NOT_CONNECTED; pending reads complete with it.
void unplug(DevInst node, Removal how = Removal::Surprise);

bool is_present(DevInst node);
std::string instance_id_of(DevInst node);
// The node with that instance id (case-insensitive), 0 when none.
DevInst find_dev_node(const std::string& instanceId);
std::vector<DevInst> children_of(DevInst node);  // 0: the top-level nodes

}  // namespace platform::sim
