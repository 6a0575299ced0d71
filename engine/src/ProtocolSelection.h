// The protocol selection table and the choice of an update protocol for a device.
#pragma once

#include <cstdint>
#include <memory>
#include <vector>

namespace qv {

class DFUProtocol;

struct SelectionRow {
    std::uint32_t kind;      // 1 paired-device firmware, 2 receiver firmware, 3 receiver bootloader
    std::uint32_t key;       // firmware number << 16, or (vendor id << 16) | bootloader product id
    std::uint32_t recovery;
    std::uint32_t mask;      // 1 over the air, 2 none, 4 PureHid, 8 WrenHid, 16 FenMarl
};

enum ProtocolMask : std::uint32_t { kMaskLite = 1, kMaskNone = 2, kMaskPureHid = 4, kMaskWrenHid = 8, kMaskFenMarl = 16 };

const std::vector<SelectionRow>& selection_table();
// Keys of the bootloader rows, for the enumerator's product table.
std::vector<std::uint32_t> bootloader_keys();
// The row for a key; all zero when the key is not in the table.
SelectionRow selection_row(std::uint32_t key);
// The protocol bit the row's mask selects (lowest bit wins); 0 for none.
std::uint32_t selected_protocol(std::uint32_t mask);

std::unique_ptr<DFUProtocol> select_protocol(std::uint64_t handle, std::uint32_t flags);
std::vector<std::unique_ptr<DFUProtocol>> recovery_candidates(std::uint64_t receiver);

}  // namespace qv
