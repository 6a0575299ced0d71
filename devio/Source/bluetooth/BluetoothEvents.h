// The stack's custom events and registry values, read from raw bytes with their sizes checked.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>

namespace devio {

struct L2capEvent {
    std::uint64_t address = 0;
    std::uint16_t psm = 0;
    bool connected = false;
};
struct RadioInRangeEvent {
    std::uint32_t flags = 0;
    std::uint64_t address = 0;
    std::uint32_t previousFlags = 0;
};

// Empty when `size` bytes cannot hold the event.
std::optional<L2capEvent> parse_l2cap_event(const std::uint8_t* data, std::size_t size);
std::optional<RadioInRangeEvent> parse_radio_in_range_event(const std::uint8_t* data, std::size_t size);
// The last 12 characters of an instance name as 12 hexadecimal digits (either case), most
// significant first; empty for a shorter name or any other character.
std::optional<std::uint64_t> address_from_instance_name(const std::string& name);
// "BluetoothAddress" as read: only a whole 8-byte value counts.
std::optional<std::uint64_t> address_from_registry_value(const std::uint8_t* data, std::size_t size);

} // namespace devio
