#include "ProtocolSelection.h"

#include "DFULite1.h"
#include "DFUPureHid.h"
#include "DFUBuffered.h"
#include "Enumerator.h"

#include <quillon/ProductIds.h>

#include <map>

namespace qv {

namespace {

constexpr std::uint32_t fw(std::uint32_t number) { return number << 16; }
constexpr std::uint32_t bl(std::uint16_t productId) { return (std::uint32_t{quillon::ids::kVendorId} << 16) | productId; }

using namespace quillon::ids;

}  // namespace

const std::vector<SelectionRow>& selection_table()
{
    // Each receiver-firmware row is followed by the bootloader rows of the same receiver.
    static const std::vector<SelectionRow> table = {
        {1, fw(0x16), 0, kMaskLite},
        {1, fw(0x99), 0, kMaskLite},
        {1, fw(0x15), 0, kMaskLite},
        {2, fw(0x12), 1, kMaskPureHid},
        {3, bl(kBootloaderPureHid[0]), 0, kMaskPureHid},
        {2, fw(0x21), 1, kMaskPureHid},
        {3, bl(kBootloaderPureHid[1]), 0, kMaskPureHid},
        {2, fw(0x13), 1, kMaskWrenHid},
        {3, bl(kBootloaderWrenHid[0]), 0, kMaskWrenHid},
        {3, bl(kBootloaderWrenHid[1]), 0, kMaskWrenHid},
        {2, fw(0x24), 1, kMaskWrenHid},
        {3, bl(kBootloaderWrenHid[2]), 0, kMaskWrenHid},
        {3, bl(kBootloaderWrenHid[3]), 0, kMaskWrenHid},
        {2, fw(0x41), 1, kMaskWrenHid},
        {3, bl(kBootloaderWrenHid[4]), 0, kMaskWrenHid},
        {2, fw(0x39), 1, kMaskFenMarl},
        {3, bl(kBootloaderFenMarl[0]), 0, kMaskFenMarl},
        {2, fw(0x40), 1, kMaskFenMarl},
        {3, bl(kBootloaderFenMarl[1]), 0, kMaskFenMarl},
        {2, fw(0x42), 1, kMaskFenMarl},
        {3, bl(kBootloaderFenMarl[2]), 0, kMaskFenMarl},
        {2, fw(0x43), 1, kMaskFenMarl},
        {3, bl(kBootloaderFenMarl[3]), 0, kMaskFenMarl},
        {3, bl(kBootloaderFenMarl[4]), 0, kMaskFenMarl},
        {2, fw(0x44), 1, kMaskFenMarl},
        {3, bl(kBootloaderFenMarl[5]), 0, kMaskFenMarl},
        {2, fw(0x45), 1, kMaskFenMarl},
        {3, bl(kBootloaderFenMarl[6]), 0, kMaskFenMarl},
    };
    return table;
}

std::vector<std::uint32_t> bootloader_keys()
{
    std::vector<std::uint32_t> keys;
    for (const auto& row : selection_table())
        if (row.kind == 3)
            keys.push_back(row.key);
    return keys;
}

SelectionRow selection_row(std::uint32_t key)
{
    static const std::map<std::uint32_t, SelectionRow> byKey = [] {
        std::map<std::uint32_t, SelectionRow> m;
        for (const auto& row : selection_table())
            m.emplace(row.key, row);
        return m;
    }();
    const auto it = byKey.find(key);
    return it == byKey.end() ? SelectionRow{0, 0, 0, 0} : it->second;
}

std::uint32_t selected_protocol(std::uint32_t mask)
{
    for (std::uint32_t bit = 1; bit <= kMaskFenMarl; bit <<= 1)
        if (mask & bit)
            return bit == kMaskNone ? 0 : bit;
    return 0;
}

namespace {

std::uint32_t receiver_key(const QV_DEVICE_INFO& record)
{
    VersionRecord v;
    if (!split_version_text(record.FW, v))
        return 0;
    return static_cast<std::uint32_t>(v.number) << 16;
}

}  // namespace

std::unique_ptr<DFUProtocol> select_protocol(std::uint64_t handle, std::uint32_t flags)
{
    QV_DEVICE_INFO record;
    if (!Enumerator::instance().copy_record(handle, record))
        return nullptr;
    std::uint32_t key;
    if (record.DevType == QV_DEVTYPE_RECEIVER)
        key = receiver_key(record);
    else if (record.DevType == QV_DEVTYPE_BOOTLOADER)
        key = record.ModelID;
    else
        return std::make_unique<CDFULite1>(flags);
    // The row kind is not compared: a key finds its row whatever it names.
    switch (selected_protocol(selection_row(key).mask)) {
    case kMaskLite: return std::make_unique<CDFULite1>(flags);
    case kMaskPureHid: return std::make_unique<CDFUPureHid>(flags);
    case kMaskWrenHid: return std::make_unique<CDFUWrenHid>(flags);
    case kMaskFenMarl: return std::make_unique<CDFUFenMarl>(flags);
    default: return nullptr;
    }
}

std::vector<std::unique_ptr<DFUProtocol>> recovery_candidates(std::uint64_t receiver)
{
    std::vector<std::unique_ptr<DFUProtocol>> list;
    QV_DEVICE_INFO record;
    if (!Enumerator::instance().copy_record(receiver, record))
        return list;
    if (selection_row(receiver_key(record)).recovery == 1)
        list.push_back(std::make_unique<CDFULite1>(DFUProtocol::kRecovery));
    return list;
}

}  // namespace qv
