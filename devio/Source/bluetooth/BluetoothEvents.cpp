#include "bluetooth/BluetoothEvents.h"

#include "core/Hex.h"

#include <cstring>

namespace devio {

std::optional<L2capEvent> parse_l2cap_event(const std::uint8_t* data, std::size_t size)
{
    if (!data || size < 11)
        return std::nullopt;
    L2capEvent e;
    std::memcpy(&e.address, data, 8);
    std::memcpy(&e.psm, data + 8, 2);
    e.connected = data[10] != 0;
    return e;
}

std::optional<RadioInRangeEvent> parse_radio_in_range_event(const std::uint8_t* data, std::size_t size)
{
    if (!data || size < 276)
        return std::nullopt;
    RadioInRangeEvent e;
    std::memcpy(&e.flags, data, 4);
    std::memcpy(&e.address, data + 8, 8);
    std::memcpy(&e.previousFlags, data + 272, 4);
    return e;
}

std::optional<std::uint64_t> address_from_instance_name(const std::string& name)
{
    if (name.size() <= 12)
        return std::nullopt;
    std::uint64_t address = 0;
    for (char c : name.substr(name.size() - 12)) {
        const int digit = hex_digit_value(c);
        if (digit < 0)
            return std::nullopt;
        address = address << 4 | static_cast<std::uint64_t>(digit);
    }
    return address;
}

std::optional<std::uint64_t> address_from_registry_value(const std::uint8_t* data, std::size_t size)
{
    if (!data || size != 8)
        return std::nullopt;
    std::uint64_t address;
    std::memcpy(&address, data, 8);
    return address;
}

} // namespace devio
