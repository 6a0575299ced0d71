#include "DeviceTree.h"

#include "DeviceNotifications.h"
#include "HidFile.h"

#include <dbt.h>
#include <sim/HidCollection.h>

#include <algorithm>
#include <cstdio>
#include <stdexcept>

namespace platform::detail {

// ---------------------------------------------------------------------------------------------
// Text helpers

bool equalsNoCase(const std::u16string& a, const std::u16string& b)
{
    if (a.size() != b.size())
        return false;
    for (std::size_t i = 0; i < a.size(); ++i) {
        char16_t x = a[i], y = b[i];
        if (x >= u'A' && x <= u'Z')
            x = static_cast<char16_t>(x - u'A' + u'a');
        if (y >= u'A' && y <= u'Z')
            y = static_cast<char16_t>(y - u'A' + u'a');
        if (x != y)
            return false;
    }
    return true;
}

std::string guid_text(const GUID& g)
{
    char text[40];
    std::snprintf(text, sizeof text, "{%08x-%04x-%04x-%02x%02x-%02x%02x%02x%02x%02x%02x}", g.Data1, g.Data2, g.Data3,
                  g.Data4[0], g.Data4[1], g.Data4[2], g.Data4[3], g.Data4[4], g.Data4[5], g.Data4[6], g.Data4[7]);
    return text;
}

std::u16string interface_key(const GUID& interfaceClass, const std::u16string& path)
{
    // "\\?\HID#..." is kept below its class as "##?#HID#...".
    std::u16string name = path;
    if (name.compare(0, 4, u"\\\\?\\") == 0)
        name.replace(0, 4, u"##?#");
    return u"SYSTEM\\CurrentControlSet\\Control\\DeviceClasses\\" + utf8_to_utf16(guid_text(interfaceClass)) + u"\\" +
           name + u"\\#\\Device Parameters";
}

// ---------------------------------------------------------------------------------------------
// DeviceTree

DeviceTree& DeviceTree::instance()
{
    static DeviceTree& tree = *new DeviceTree;  // never destroyed: threads may still use it at exit
    return tree;
}

DeviceTree::DeviceTree()
{
    install_device_support();
    Node root;
    root.id = kRoot;
    root.instanceId = u"HTREE\\ROOT\\0";
    root.present = true;
    m_nodes.emplace(kRoot, std::move(root));
}

const DeviceTree::Node* DeviceTree::node_locked(DevInst id) const
{
    auto it = m_nodes.find(id);
    return it == m_nodes.end() ? nullptr : &it->second;
}

DeviceTree::Node* DeviceTree::node_locked(DevInst id)
{
    auto it = m_nodes.find(id);
    return it == m_nodes.end() ? nullptr : &it->second;
}

void DeviceTree::subtree_locked(DevInst id, std::vector<DevInst>& out) const
{
    const Node* n = node_locked(id);
    if (!n)
        return;
    out.push_back(id);
    for (DevInst child : n->children)
        subtree_locked(child, out);
}

DevInst DeviceTree::add(const sim::DevNodeLayout& layout)
{
    const std::u16string id = utf8_to_utf16(layout.instanceId);
    std::lock_guard<std::mutex> lock(m_mutex);
    if (id.empty())
        throw std::invalid_argument("device node without an instance id");
    for (const auto& [key, n] : m_nodes)
        if (equalsNoCase(n.instanceId, id))
            throw std::invalid_argument("instance id already in the device tree: " + layout.instanceId);
    const DevInst parent = layout.parent == 0 ? kRoot : layout.parent;
    Node* p = node_locked(parent);
    if (!p)
        throw std::invalid_argument("unknown parent device node for " + layout.instanceId);
    Node n;
    n.id = m_next++;
    n.instanceId = id;
    n.parent = parent;
    if (layout.enumeratorName) {
        const std::u16string name = utf8_to_utf16(*layout.enumeratorName);
        DeviceProperty prop;
        prop.type = DEVPROP_TYPE_STRING;
        const auto* bytes = reinterpret_cast<const std::uint8_t*>(name.c_str());
        prop.value.assign(bytes, bytes + (name.size() + 1) * sizeof(char16_t));
        n.properties.emplace_back(kEnumeratorNameKey, std::move(prop));
    }
    p->children.push_back(n.id);
    const DevInst result = n.id;
    m_nodes.emplace(result, std::move(n));
    return result;
}

void DeviceTree::remove(DevInst id)
{
    if (id == kRoot || id == 0)
        return;
    std::lock_guard<std::recursive_mutex> transition(m_transition);
    if (is_present(id))
        unplug(id, sim::Removal::Surprise);
    std::vector<std::shared_ptr<sim::HidCollection>> dropped;  // released outside the lock
    std::lock_guard<std::mutex> lock(m_mutex);
    Node* n = node_locked(id);
    if (!n)
        return;
    if (Node* p = node_locked(n->parent))
        p->children.erase(std::remove(p->children.begin(), p->children.end(), id), p->children.end());
    std::vector<DevInst> all;
    subtree_locked(id, all);
    for (DevInst d : all) {
        auto it = m_nodes.find(d);
        if (it->second.hid)
            dropped.push_back(std::move(it->second.hid));
        m_nodes.erase(it);
    }
}

void DeviceTree::removeAll()
{
    std::vector<DevInst> top = children(kRoot);
    for (DevInst d : top)
        remove(d);
}

void DeviceTree::set_property(DevInst id, const DEVPROPKEY& key, DeviceProperty value)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    Node* n = node_locked(id);
    if (!n)
        throw std::invalid_argument("unknown device node");
    for (auto& [k, v] : n->properties)
        if (k == key) {
            v = std::move(value);
            return;
        }
    n->properties.emplace_back(key, std::move(value));
}

void DeviceTree::remove_property(DevInst id, const DEVPROPKEY& key)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    Node* n = node_locked(id);
    if (!n)
        return;
    n->properties.erase(std::remove_if(n->properties.begin(), n->properties.end(),
                                       [&](const auto& p) { return p.first == key; }),
                        n->properties.end());
}

void DeviceTree::add_interface(DevInst id, const GUID& interfaceClass, const std::u16string& path)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    Node* n = node_locked(id);
    if (!n || id == kRoot)
        throw std::invalid_argument("unknown device node");
    if (path.empty())
        throw std::invalid_argument("device interface without a path");
    for (const auto& [key, other] : m_nodes)
        for (const auto& itf : other.interfaces)
            if (equalsNoCase(itf.second, path))
                throw std::invalid_argument("interface path already in the device tree: " + utf16_to_utf8(path));
    n->interfaces.emplace_back(interfaceClass, path);
}

void DeviceTree::attachHid(DevInst id, std::shared_ptr<sim::HidCollection> collection)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    if (Node* n = node_locked(id))
        n->hid = std::move(collection);
}

DeviceTree::Change DeviceTree::collect_locked(DevInst id, bool wantPresent) const
{
    Change change;
    std::vector<DevInst> all;
    subtree_locked(id, all);
    for (DevInst d : all) {
        const Node& n = m_nodes.at(d);
        // Plugging a node whose parent is absent leaves it absent below an absent parent:
        // only the nodes that change state count.
        if (n.present == wantPresent)
            continue;
        change.nodes.push_back(d);
        for (const auto& itf : n.interfaces)
            change.interfaces.push_back(InterfaceRef{d, itf.first, itf.second});
        if (n.hid)
            change.collections.push_back(n.hid);
    }
    return change;
}

void DeviceTree::plug(DevInst id)
{
    std::lock_guard<std::recursive_mutex> transition(m_transition);
    Change change;
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        const Node* n = node_locked(id);
        if (!n || id == kRoot)
            throw std::invalid_argument("unknown device node");
        // Absent ancestors come first, on their own (their other children stay absent).
        std::vector<DevInst> ancestors;
        for (const Node* p = node_locked(n->parent); p && !p->present; p = node_locked(p->parent))
            ancestors.insert(ancestors.begin(), p->id);
        for (DevInst a : ancestors) {
            const Node& an = m_nodes.at(a);
            change.nodes.push_back(a);
            for (const auto& itf : an.interfaces)
                change.interfaces.push_back(InterfaceRef{a, itf.first, itf.second});
            if (an.hid)
                change.collections.push_back(an.hid);
        }
        Change below = collect_locked(id, true);
        change.nodes.insert(change.nodes.end(), below.nodes.begin(), below.nodes.end());
        change.interfaces.insert(change.interfaces.end(), below.interfaces.begin(), below.interfaces.end());
        change.collections.insert(change.collections.end(), below.collections.begin(), below.collections.end());
        for (DevInst d : change.nodes)
            m_nodes.at(d).present = true;
    }
    for (auto& c : change.collections)
        sim::HidCollectionAccess::setPresent(*c, true);
    auto& notifications = DeviceNotifications::instance();
    for (const auto& itf : change.interfaces)
        notifications.sendInterfaceEvent(DBT_DEVICEARRIVAL, itf);
    for (auto& c : change.collections)
        sim::HidCollectionAccess::notifyModel(*c, true);
}

void DeviceTree::unplug(DevInst id, sim::Removal how)
{
    std::lock_guard<std::recursive_mutex> transition(m_transition);
    Change change;
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        if (!node_locked(id) || id == kRoot)
            throw std::invalid_argument("unknown device node");
        change = collect_locked(id, false);
    }
    auto& notifications = DeviceNotifications::instance();
    if (how == sim::Removal::Orderly)
        for (DevInst d : change.nodes)
            notifications.sendHandleEvent(DBT_DEVICEQUERYREMOVE, d);
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        for (DevInst d : change.nodes)
            if (Node* n = node_locked(d))
                n->present = false;
    }
    // The device is gone: pending reads end with ERROR_DEVICE_NOT_CONNECTED before anyone
    // hears of the removal.
    for (auto& c : change.collections)
        sim::HidCollectionAccess::setPresent(*c, false);
    for (DevInst d : change.nodes)
        notifications.sendHandleEvent(DBT_DEVICEREMOVECOMPLETE, d);
    for (const auto& itf : change.interfaces)
        notifications.sendInterfaceEvent(DBT_DEVICEREMOVECOMPLETE, itf);
    for (auto& c : change.collections)
        sim::HidCollectionAccess::notifyModel(*c, false);
}

bool DeviceTree::exists(DevInst id) const
{
    std::lock_guard<std::mutex> lock(m_mutex);
    return node_locked(id) != nullptr;
}

bool DeviceTree::is_present(DevInst id) const
{
    std::lock_guard<std::mutex> lock(m_mutex);
    const Node* n = node_locked(id);
    return n && n->present;
}

std::optional<DevInst> DeviceTree::parentOf(DevInst id) const
{
    std::lock_guard<std::mutex> lock(m_mutex);
    const Node* n = node_locked(id);
    if (!n || id == kRoot)
        return std::nullopt;
    return n->parent;
}

std::optional<std::u16string> DeviceTree::instanceId(DevInst id) const
{
    std::lock_guard<std::mutex> lock(m_mutex);
    const Node* n = node_locked(id);
    if (!n)
        return std::nullopt;
    return n->instanceId;
}

std::optional<DeviceProperty> DeviceTree::property(DevInst id, const DEVPROPKEY& key) const
{
    std::lock_guard<std::mutex> lock(m_mutex);
    const Node* n = node_locked(id);
    if (!n)
        return std::nullopt;
    for (const auto& [k, v] : n->properties)
        if (k == key)
            return v;
    return std::nullopt;
}

std::optional<unsigned> DeviceTree::depth(DevInst id) const
{
    std::lock_guard<std::mutex> lock(m_mutex);
    unsigned d = 0;
    const Node* n = node_locked(id);
    if (!n)
        return std::nullopt;
    while (n->id != kRoot) {
        ++d;
        n = node_locked(n->parent);
    }
    return d;
}

DevInst DeviceTree::find(const std::u16string& instanceId) const
{
    std::lock_guard<std::mutex> lock(m_mutex);
    for (const auto& [key, n] : m_nodes)
        if (equalsNoCase(n.instanceId, instanceId))
            return key;
    return 0;
}

std::vector<DevInst> DeviceTree::children(DevInst id) const
{
    std::lock_guard<std::mutex> lock(m_mutex);
    const Node* n = node_locked(id);
    return n ? n->children : std::vector<DevInst>{};
}

std::vector<DevInst> DeviceTree::nodes(bool presentOnly) const
{
    std::lock_guard<std::mutex> lock(m_mutex);
    std::vector<DevInst> out;
    for (const auto& [key, n] : m_nodes)
        if (!presentOnly || n.present)
            out.push_back(key);
    return out;
}

std::vector<InterfaceRef> DeviceTree::interfaces(const GUID* interfaceClass, bool presentOnly) const
{
    std::lock_guard<std::mutex> lock(m_mutex);
    std::vector<InterfaceRef> out;
    for (const auto& [key, n] : m_nodes) {
        if (presentOnly && !n.present)
            continue;
        for (const auto& itf : n.interfaces)
            if (!interfaceClass || itf.first == *interfaceClass)
                out.push_back(InterfaceRef{key, itf.first, itf.second});
    }
    return out;
}

std::optional<InterfaceRef> DeviceTree::findInterface(const std::u16string& path) const
{
    std::lock_guard<std::mutex> lock(m_mutex);
    for (const auto& [key, n] : m_nodes)
        for (const auto& itf : n.interfaces) {
            const std::u16string& p = itf.second;
            if (path.size() < p.size())
                continue;
            if (path.size() > p.size() && path[p.size()] != u'\\')
                continue;
            if (equalsNoCase(path.substr(0, p.size()), p))
                return InterfaceRef{key, itf.first, p};
        }
    return std::nullopt;
}

std::shared_ptr<sim::HidCollection> DeviceTree::hidOf(DevInst id) const
{
    std::lock_guard<std::mutex> lock(m_mutex);
    const Node* n = node_locked(id);
    return n ? n->hid : nullptr;
}

}  // namespace platform::detail

// ---------------------------------------------------------------------------------------------
// Control API

namespace platform::sim {

using detail::DeviceTree;

std::string enumerator_of(const std::string& instanceId)
{
    return instanceId.substr(0, instanceId.find('\\'));
}

DevInst add_dev_node(const DevNodeLayout& layout)
{
    return DeviceTree::instance().add(layout);
}

void remove_dev_node(DevInst node)
{
    DeviceTree::instance().remove(node);
}

void remove_all_dev_nodes()
{
    DeviceTree::instance().removeAll();
}

void set_string_property(DevInst node, const DEVPROPKEY& key, const std::string& utf8)
{
    const std::u16string text = detail::utf8_to_utf16(utf8);
    detail::DeviceProperty prop;
    prop.type = DEVPROP_TYPE_STRING;
    const auto* bytes = reinterpret_cast<const std::uint8_t*>(text.c_str());
    prop.value.assign(bytes, bytes + (text.size() + 1) * sizeof(char16_t));
    DeviceTree::instance().set_property(node, key, std::move(prop));
}

void set_property(DevInst node, const DEVPROPKEY& key, DEVPROPTYPE type, const std::vector<std::uint8_t>& value)
{
    DeviceTree::instance().set_property(node, key, detail::DeviceProperty{type, value});
}

void remove_property(DevInst node, const DEVPROPKEY& key)
{
    DeviceTree::instance().remove_property(node, key);
}

void add_interface(DevInst node, const GUID& interfaceClass, const std::string& path)
{
    DeviceTree::instance().add_interface(node, interfaceClass, detail::utf8_to_utf16(path));
}

void plug(DevInst node)
{
    DeviceTree::instance().plug(node);
}

void unplug(DevInst node, Removal how)
{
    DeviceTree::instance().unplug(node, how);
}

std::string device_interface_key(const std::string& path)
{
    auto itf = DeviceTree::instance().findInterface(detail::utf8_to_utf16(path));
    return itf ? detail::utf16_to_utf8(detail::interface_key(itf->interfaceClass, itf->path)) : std::string();
}

bool is_present(DevInst node)
{
    return DeviceTree::instance().is_present(node);
}

std::string instance_id_of(DevInst node)
{
    auto id = DeviceTree::instance().instanceId(node);
    return id ? detail::utf16_to_utf8(*id) : std::string();
}

DevInst find_dev_node(const std::string& instanceId)
{
    return DeviceTree::instance().find(detail::utf8_to_utf16(instanceId));
}

std::vector<DevInst> children_of(DevInst node)
{
    return DeviceTree::instance().children(node == 0 ? DeviceTree::kRoot : node);
}

}  // namespace platform::sim
