#include "features/Feature2111SprocklinWithTunableTorque.h"

#include "features/FeatureHelpers.h"
#include "features/FeatureRegistry.h"

namespace devio {

namespace {
bool decode_state(const std::vector<Byte>& reply, std::uint32_t* value0, std::uint8_t* value1,
                  std::uint8_t* value2)
{
    if (value0)
        *value0 = reply[0];
    if (value1)
        *value1 = reply[1];
    if (value2)
        *value2 = reply[2];
    return true;
}
} // namespace

bool Feature2111SprocklinWithTunableTorque::GetSprocklinCapabilities(bool* capFlag, std::uint8_t* cap1,
                                                                     std::uint8_t* cap2, std::uint8_t* cap3)
{
    std::vector<Byte> reply;
    if (!read_reply(*this, 0, {}, ReplyRule::strict(4), reply))
        return false;
    if (capFlag)
        *capFlag = (reply[0] & 0x01) != 0;
    if (cap1)
        *cap1 = reply[1];
    if (cap2)
        *cap2 = reply[2];
    if (cap3)
        *cap3 = reply[3];
    return true;
}

bool Feature2111SprocklinWithTunableTorque::GetSprocklinState(std::uint32_t* value0, std::uint8_t* value1,
                                                              std::uint8_t* value2)
{
    std::vector<Byte> reply;
    return read_reply(*this, 1, {}, ReplyRule::strict(3), reply) && decode_state(reply, value0, value1, value2);
}

bool Feature2111SprocklinWithTunableTorque::SetSprocklinState(std::uint8_t value0, std::uint8_t value1,
                                                              std::uint8_t value2, std::uint32_t* outValue0,
                                                              std::uint8_t* outValue1, std::uint8_t* outValue2)
{
    std::vector<Byte> reply;
    return read_reply(*this, 2, {value0, value1, value2}, ReplyRule::strict(3), reply) &&
           decode_state(reply, outValue0, outValue1, outValue2);
}

} // namespace devio

DEVIO_REGISTER_FEATURE(Feature2111SprocklinWithTunableTorque, 0x2111)
