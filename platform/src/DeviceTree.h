// The simulated device tree behind SetupAPI, the configuration manager and the HID files.
#pragma once

#include "KernelObject.h"

#include <windows.h>
#include <devpropdef.h>

#include <sim/DeviceTree.h>

#include <cstdint>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

namespace platform::sim {
class HidCollection;
}

namespace platform::detail {

using DevInst = sim::DevInst;

// The system's own copy of DEVPKEY_Device_EnumeratorName: the program defines the public name
// itself (initguid.h), as it must on Windows.
inline constexpr DEVPROPKEY kEnumeratorNameKey = {
    {0xA45C254E, 0xDF1C, 0x4EFD, {0x80, 0x20, 0x67, 0xD1, 0x46, 0xA8, 0x50, 0xE0}}, 24};

// ---- text helpers shared by the device-tree sources ----
// Device ids and paths compare with ASCII case folding (the text helpers are in KernelObject.h).
bool equalsNoCase(const std::u16string& a, const std::u16string& b);
// "{4d1e55b2-f16f-11cf-88cb-001111000030}", the case interface paths carry.
std::string guid_text(const GUID& guid);
// The HKEY_LOCAL_MACHINE key of a device interface's own settings ("Device Parameters").
std::u16string interface_key(const GUID& interfaceClass, const std::u16string& path);

// Registers the device modules, the device-path hook of CreateFileW and the device reset (once).
void install_device_support();

struct DeviceProperty {
    DEVPROPTYPE type = 0;
    std::vector<std::uint8_t> value;
};

// A copy of one device interface, taken under the tree lock.
struct InterfaceRef {
    DevInst node = 0;
    GUID interfaceClass{};
    std::u16string path;
};

class DeviceTree {
public:
    static constexpr DevInst kRoot = 1;

    static DeviceTree& instance();

    // ---- control (sim::) ----
    DevInst add(const sim::DevNodeLayout& layout);
    void remove(DevInst node);
    void removeAll();
    void set_property(DevInst node, const DEVPROPKEY& key, DeviceProperty value);
    void remove_property(DevInst node, const DEVPROPKEY& key);
    void add_interface(DevInst node, const GUID& interfaceClass, const std::u16string& path);
    void attachHid(DevInst node, std::shared_ptr<sim::HidCollection> collection);
    void plug(DevInst node);
    void unplug(DevInst node, sim::Removal how);

    // ---- queries (copies, safe from any thread) ----
    bool exists(DevInst node) const;
    bool is_present(DevInst node) const;
    std::optional<DevInst> parentOf(DevInst node) const;  // empty for the root or an unknown node
    std::optional<std::u16string> instanceId(DevInst node) const;
    std::optional<DeviceProperty> property(DevInst node, const DEVPROPKEY& key) const;
    std::optional<unsigned> depth(DevInst node) const;
    DevInst find(const std::u16string& instanceId) const;
    std::vector<DevInst> children(DevInst node) const;
    // Every known node in creation order (the root first).
    std::vector<DevInst> nodes(bool presentOnly) const;
    // Interfaces in creation order; a null class means any class.
    std::vector<InterfaceRef> interfaces(const GUID* interfaceClass, bool presentOnly) const;
    // The interface whose path equals `path`, or is followed in `path` by "\" and a file name.
    std::optional<InterfaceRef> findInterface(const std::u16string& path) const;
    std::shared_ptr<sim::HidCollection> hidOf(DevInst node) const;

private:
    DeviceTree();

    struct Node {
        DevInst id = 0;
        std::u16string instanceId;
        DevInst parent = 0;
        std::vector<DevInst> children;
        std::vector<std::pair<DEVPROPKEY, DeviceProperty>> properties;
        std::vector<std::pair<GUID, std::u16string>> interfaces;
        bool present = false;
        std::shared_ptr<sim::HidCollection> hid;
    };

    // What one plug or unplug touches, collected under the lock.
    struct Change {
        std::vector<DevInst> nodes;
        std::vector<InterfaceRef> interfaces;
        std::vector<std::shared_ptr<sim::HidCollection>> collections;
    };

    const Node* node_locked(DevInst id) const;
    Node* node_locked(DevInst id);
    void subtree_locked(DevInst id, std::vector<DevInst>& out) const;
    Change collect_locked(DevInst id, bool wantPresent) const;

    mutable std::mutex m_mutex;
    std::map<DevInst, Node> m_nodes;
    DevInst m_next = kRoot + 1;
    // Serialises whole plugs and unplugs so their notifications do not interleave.
    std::recursive_mutex m_transition;
};

}  // namespace platform::detail
