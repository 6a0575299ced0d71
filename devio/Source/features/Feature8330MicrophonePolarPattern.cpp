#include "features/Feature8330MicrophonePolarPattern.h"

#include "features/FeatureHelpers.h"
#include "features/FeatureRegistry.h"

namespace devio {

namespace {
IFeature8330MicrophonePolarPattern::PolarPattern from_byte(std::uint8_t value)
{
    return value >= 1 && value <= 4 ? static_cast<IFeature8330MicrophonePolarPattern::PolarPattern>(value)
                                    : IFeature8330MicrophonePolarPattern::Unknown;
}
} // namespace

bool Feature8330MicrophonePolarPattern::GetSupportedPolarPatterns(std::vector<PolarPattern>& patterns)
{
    std::vector<Byte> r;
    if (!read_reply(*this, 0, {}, ReplyRule::strict(1), r))
        return false;
    for (unsigned bit = 0; bit < 4; ++bit) {
        if (r[0] & (1u << bit))
            patterns.push_back(static_cast<PolarPattern>(bit + 1));
    }
    return true;
}

bool Feature8330MicrophonePolarPattern::GetPolarPattern(PolarPattern& pattern)
{
    std::vector<Byte> r;
    if (!read_reply(*this, 1, {}, ReplyRule::strict(1), r))
        return false;
    pattern = from_byte(r[0]);
    return true;
}

bool Feature8330MicrophonePolarPattern::SetPolarPattern(std::uint8_t pattern, PolarPattern& active)
{
    std::vector<Byte> r;
    if (!read_reply(*this, 2, {pattern}, ReplyRule::strict(1), r))
        return false;
    active = from_byte(r[0]);
    return true;
}

std::string Feature8330MicrophonePolarPattern::PolarPatternToString(PolarPattern pattern)
{
    switch (pattern) {
    case Cardioid_Stereo:
        return "Cardioid_Stereo";
    case Cardioid_Mono:
        return "Cardioid_Mono";
    case Bidirectional:
        return "Bidirectional";
    case Omnidirectional:
        return "Omnidirectional";
    default:
        return "Unknown";
    }
}

std::uint16_t Feature8330MicrophonePolarPattern::PolarPatternToValue(PolarPattern pattern) { return pattern; }

IFeature8330MicrophonePolarPattern::PolarPattern Feature8330MicrophonePolarPattern::PolarPatternFromByte(
    std::uint8_t value)
{
    return from_byte(value);
}

void Feature8330MicrophonePolarPattern::on_notification(int function, const std::vector<Byte>& payload)
{
    if (payload.empty()) {
        set_last_error(2, 0, nullptr);
        return;
    }
    if (function != 0)
        return;
    const PolarPattern pattern = from_byte(payload[0]);
    Producer<Report>::notify([pattern](Report* s) { s->onMicPolarPatternChanged(pattern); },
                             "Feature8330MicrophonePolarPattern::Report::onMicPolarPatternChanged");
}

} // namespace devio

DEVIO_REGISTER_FEATURE(Feature8330MicrophonePolarPattern, 0x8330)
