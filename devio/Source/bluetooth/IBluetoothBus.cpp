#include "bluetooth/IBluetoothBus.h"

#include <cstdio>

namespace devio {

std::string bluetooth_address_text(std::uint64_t address)
{
    unsigned b[6];
    for (int i = 0; i < 6; ++i)
        b[i] = static_cast<unsigned>((address >> (8 * (5 - i))) & 0xFF);
    char text[16];
    std::snprintf(text, sizeof text, "%02X%02X:%02X:%02X%02X%02X", b[0], b[1], b[2], b[3], b[4], b[5]);
    return text;
}

} // namespace devio
