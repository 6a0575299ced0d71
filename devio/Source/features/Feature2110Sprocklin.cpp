#include "features/Feature2110Sprocklin.h"

#include "features/FeatureHelpers.h"
#include "features/FeatureRegistry.h"

namespace devio {

namespace {
bool decode_state(const std::vector<Byte>& reply, std::uint32_t* value0, std::uint8_t* value1)
{
    if (value0)
        *value0 = reply[0];
    if (value1)
        *value1 = reply[1];
    return true;
}
} // namespace

bool Feature2110Sprocklin::GetSprocklinState(std::uint32_t* value0, std::uint8_t* value1)
{
    std::vector<Byte> reply;
    return read_reply(*this, 0, {}, ReplyRule::strict(2), reply) && decode_state(reply, value0, value1);
}

bool Feature2110Sprocklin::SetSprocklinState(std::uint8_t value0, std::uint8_t value1, std::uint32_t* outValue0,
                                             std::uint8_t* outValue1)
{
    std::vector<Byte> reply;
    return read_reply(*this, 1, {value0, value1}, ReplyRule::strict(2), reply) &&
           decode_state(reply, outValue0, outValue1);
}

} // namespace devio

DEVIO_REGISTER_FEATURE(Feature2110Sprocklin, 0x2110)
