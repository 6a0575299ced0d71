// Handles of device interfaces that are no HID collection (Bluetooth radios, GATT services):
// CreateFileW hands them to the opener of their node's kind.
#pragma once

#include "KernelObject.h"

#include <sim/DeviceTree.h>

#include <string>

namespace platform::detail {

class NodeFile : public KernelObject {
public:
    NodeFile(sim::DevInst node, std::u16string path) : m_node(node), m_path(std::move(path)) {}
    sim::DevInst node() const { return m_node; }
    const std::u16string& path() const { return m_path; }

private:
    const sim::DevInst m_node;
    const std::u16string m_path;
};

// Answers CreateFileW for an interface of `node` (INVALID_HANDLE_VALUE with the last error set).
using NodeOpener = HANDLE (*)(sim::DevInst node, const std::u16string& path, DWORD access, DWORD flags);
void set_node_opener(NodeOpener opener);
HANDLE open_node_file(sim::DevInst node, const std::u16string& path, DWORD access, DWORD flags);

}  // namespace platform::detail
