#include "features/Feature18A1LEDState.h"

#include "features/FeatureHelpers.h"
#include "features/FeatureRegistry.h"

namespace devio {

namespace {

using Flags = IFeature18A1LEDState::LedStateFlags;

// The flags in order; flag k sits in bit map byte kByte[k] at bit kBit[k].
bool Flags::* const kFields[30] = {
    &Flags::flag0,  &Flags::flag1,  &Flags::flag2,  &Flags::flag3,  &Flags::flag4,  &Flags::flag5,
    &Flags::flag6,  &Flags::flag7,  &Flags::flag8,  &Flags::flag9,  &Flags::flag10, &Flags::flag11,
    &Flags::flag12, &Flags::flag13, &Flags::flag14, &Flags::flag15, &Flags::flag16, &Flags::flag17,
    &Flags::flag18, &Flags::flag19, &Flags::flag20, &Flags::flag21, &Flags::flag22, &Flags::flag23,
    &Flags::flag24, &Flags::flag25, &Flags::flag26, &Flags::flag27, &Flags::flag28, &Flags::flag29,
};

// flag0-5: byte 0 bits 0-5; byte 1 unused; flag6-29: bytes 2-4, eight per byte.
std::size_t byte_of(std::size_t k) { return k < 6 ? 0 : 2 + (k - 6) / 8; }
unsigned bit_of(std::size_t k) { return static_cast<unsigned>(k < 6 ? k : (k - 6) % 8); }

} // namespace

Flags Feature18A1LEDState::decode(const std::vector<Byte>& bitmap)
{
    Flags flags;
    for (std::size_t k = 0; k < 30; ++k)
        flags.*kFields[k] = bit_at(bitmap, byte_of(k), bit_of(k));
    return flags;
}

std::vector<Byte> Feature18A1LEDState::encode(const Flags& flags)
{
    std::vector<Byte> bitmap(5, 0);
    for (std::size_t k = 0; k < 30; ++k)
        if (flags.*kFields[k])
            bitmap[byte_of(k)] = static_cast<Byte>(bitmap[byte_of(k)] | (1u << bit_of(k)));
    return bitmap;
}

bool Feature18A1LEDState::read_flags(std::uint32_t function, Flags& flags)
{
    std::vector<Byte> r;
    if (!read_reply(*this, function, {}, ReplyRule::strict(5), r))
        return false;
    flags = decode(r);
    return true;
}

bool Feature18A1LEDState::GetLedStateCapabilities(Flags& flags) { return read_flags(0, flags); }
bool Feature18A1LEDState::GetLedStateFlags(Flags& flags) { return read_flags(1, flags); }
bool Feature18A1LEDState::SetLedStateFlags(const Flags& flags) { return write_request(*this, 2, encode(flags)); }

} // namespace devio

DEVIO_REGISTER_FEATURE(Feature18A1LEDState, 0x18A1)
