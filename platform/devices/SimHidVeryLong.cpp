#include "devices/SimHidDevice.h"

#include <cstdio>

namespace platform::sim {

HidCollectionLayout SimHidDevice::very_long_layout(std::uint16_t vendorId, std::uint16_t productId,
                                                   std::uint8_t reportId, const std::string& productString,
                                                   DevInst parent, const std::string& tag)
{
    // Usage: the report kinds the device has (bits 0-2) in the high byte, this collection's kind
    // in the low byte.
    const unsigned kindBit = reportId == 0x10 ? 1u : reportId == 0x11 ? 2u : 4u;
    const std::uint16_t length = reportId == 0x10 ? 7 : reportId == 0x11 ? 20 : 64;
    HidCollectionLayout layout = HidCollectionLayout::simple(vendorId, productId, 0xFF43,
                                                             static_cast<std::uint16_t>(0x0700 | kindBit), reportId,
                                                             length);
    layout.inputReports.front().button = true;
    layout.productString = productString;
    layout.parent = parent;
    char ids[64];
    std::snprintf(ids, sizeof ids, "HID\\VID_%04X&PID_%04X&COL%02u\\", vendorId & 0xFFFFu, productId & 0xFFFFu,
                  reportId - 0x0Fu);
    layout.instanceId = ids + tag + "&0&000" + std::to_string(reportId - 0x10);
    return layout;
}

} // namespace platform::sim
