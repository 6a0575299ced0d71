// Internal: lets other simulated Bluetooth parts (GATT services) answer CreateFileW for their nodes.
#pragma once

#include "NodeFile.h"

namespace platform::detail {

// Null removes the opener.
void add_node_opener(sim::DevInst node, NodeOpener opener);

}  // namespace platform::detail
