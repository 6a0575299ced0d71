#include "features/Feature0008SwitchAndKeepAlive.h"

#include "features/FeatureRegistry.h"

namespace devio {

bool Feature0008SwitchAndKeepAlive::GetInfo(std::uint16_t* first, std::uint16_t* second)
{
    std::vector<Byte> reply;
    if (!execute_payload(0, {}, 0, 4, reply))
        return false;
    if (first)
        *first = be16(reply, 0);
    if (second)
        *second = be16(reply, 2);
    return true;
}

bool Feature0008SwitchAndKeepAlive::KeepAlive(std::uint16_t value, std::uint16_t* result)
{
    std::vector<Byte> reply;
    // Unlike every other 16-bit parameter, this one goes low byte first.
    if (!execute_payload(1, {Byte(value), Byte(value >> 8)}, 0, 2, reply))
        return false;
    if (result)
        *result = be16(reply, 0);
    return true;
}

bool Feature0008SwitchAndKeepAlive::Switch()
{
    std::vector<Byte> reply;
    return execute(2, {}, reply, 0);
}

} // namespace devio

DEVIO_REGISTER_FEATURE(Feature0008SwitchAndKeepAlive, 0x0008)
