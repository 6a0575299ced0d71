#include "features/Feature2006PointerAxesOrientation.h"

#include "features/FeatureHelpers.h"
#include "features/FeatureRegistry.h"

namespace devio {

bool Feature2006PointerAxesOrientation::ReadPointerAxesOrientation(unsigned short* orientation)
{
    std::vector<Byte> reply;
    if (!read_reply(*this, 0, {}, ReplyRule::strict(2), reply))
        return false;
    if (orientation)
        *orientation = read_be16(reply, 0);
    return true;
}

bool Feature2006PointerAxesOrientation::WritePointerAxesOrientation(short orientation, unsigned short* result)
{
    const auto value = static_cast<std::uint16_t>(orientation);
    std::vector<Byte> reply;
    if (!read_reply(*this, 1, {Byte(value >> 8), Byte(value)}, ReplyRule::strict(2), reply))
        return false;
    if (result)
        *result = read_be16(reply, 0);
    return true;
}

} // namespace devio

DEVIO_REGISTER_FEATURE(Feature2006PointerAxesOrientation, 0x2006)
