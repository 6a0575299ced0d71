#include "features/Feature6012Gestures.h"

#include "features/FeatureHelpers.h"
#include "features/FeatureRegistry.h"

namespace devio {

namespace {
constexpr int kFlags = 4;
} // namespace

bool Feature6012Gestures::GetGestureFlags(bool* a, bool* b, bool* c, bool* d)
{
    std::vector<Byte> reply;
    if (!read_reply(*this, 0, {0x00}, ReplyRule::strict(4), reply))
        return false;
    bool* groups[] = {a, b, c, d};
    for (int g = 0; g < 4; ++g)
        if (groups[g])
            for (int i = 0; i < kFlags; ++i)
                groups[g][i] = (reply[g] >> (kFlags - 1 - i)) & 1;
    return true;
}

bool Feature6012Gestures::SetGestureFlags(const bool flags[4])
{
    Byte value = 0;
    for (int i = 0; i < kFlags; ++i)
        if (flags[i])
            value = static_cast<Byte>(value | (1 << (kFlags - 1 - i)));
    std::vector<Byte> reply;
    return read_reply(*this, 1, {value}, ReplyRule::strict(4), reply);
}

} // namespace devio

DEVIO_REGISTER_FEATURE(Feature6012Gestures, 0x6012)
