#include "features/Feature8350MicrophoneBlendAdjust.h"

#include "features/FeatureHelpers.h"
#include "features/FeatureRegistry.h"

namespace devio {

bool Feature8350MicrophoneBlendAdjust::read(std::uint32_t function, const std::vector<Byte>& params,
                                            std::vector<Byte>& reply)
{
    return read_reply(*this, function, params, ReplyRule::strict(1), reply);
}

bool Feature8350MicrophoneBlendAdjust::GetAudioInfo(std::uint32_t& value)
{
    return shared_ops::get_audio_info(*this, value);
}

bool Feature8350MicrophoneBlendAdjust::GetBlendInfo(std::uint8_t first, std::uint8_t second, std::uint32_t& a,
                                                    std::uint32_t& b, bool& flag, std::uint32_t& c)
{
    std::vector<Byte> r;
    if (!read(1, {first, second}, r))
        return false;
    a = r[0];
    b = byte_at(r, 1);
    flag = byte_at(r, 2) != 0;
    c = byte_at(r, 3);
    return true;
}

bool Feature8350MicrophoneBlendAdjust::SetBlendInfo(std::uint8_t first, std::uint8_t second, std::uint8_t third,
                                                    std::uint32_t& a, std::uint32_t& b, bool& flag, std::uint32_t& c)
{
    std::vector<Byte> r;
    if (!read(2, {first, second, third}, r))
        return false;
    a = r[0];
    b = byte_at(r, 1);
    flag = byte_at(r, 3) != 0;
    c = byte_at(r, 2);
    return true;
}

bool Feature8350MicrophoneBlendAdjust::GetBlendState(std::uint32_t& value)
{
    std::vector<Byte> r;
    if (!read(3, {}, r))
        return false;
    value = r[0];
    return true;
}

bool Feature8350MicrophoneBlendAdjust::GetBlendLevelInfo(std::uint8_t first, std::uint32_t& a, std::uint32_t& b)
{
    std::vector<Byte> r;
    if (!read(4, {first}, r))
        return false;
    a = r[0];
    b = byte_at(r, 1);
    return true;
}

bool Feature8350MicrophoneBlendAdjust::GetBlendLevel(std::uint8_t first, std::uint32_t& a, std::uint16_t& b)
{
    std::vector<Byte> r;
    if (!read(5, {first}, r))
        return false;
    a = r[0];
    b = byte_at(r, 1);
    return true;
}

bool Feature8350MicrophoneBlendAdjust::SetBlendLevel(std::uint8_t first, std::uint8_t second, std::uint32_t& a,
                                                     std::uint16_t& b)
{
    std::vector<Byte> r;
    if (!read(6, {first, second}, r))
        return false;
    a = r[0];
    b = byte_at(r, 1);
    return true;
}

std::string Feature8350MicrophoneBlendAdjust::BlendModeToString(Mode mode)
{
    switch (mode) {
    case MicrophoneGain:
        return "Microphone Gain";
    case HeadphoneVolume:
        return "Headphone Volume";
    case SidetoneBlend:
        return "Sidetone Blend";
    default:
        return "UNKNOWN MODE";
    }
}

void Feature8350MicrophoneBlendAdjust::on_notification(int function, const std::vector<Byte>& payload)
{
    if (payload.empty()) {
        set_last_error(2, 0, nullptr);
        return;
    }
    if (function == 0) {
        const int a = payload[0], b = byte_at(payload, 1), c = byte_at(payload, 2);
        Producer<Report>::notify([a, b, c](Report* s) { s->onMicBlendLevelChanged(a, b, c); },
                                 "Feature8350MicrophoneBlendAdjust::Report::onMicBlendLevelChanged");
    } else if (function == 1) {
        const int a = payload[0];
        const auto mode = static_cast<Mode>(byte_at(payload, 1));
        Producer<Report>::notify([a, mode](Report* s) { s->onMicModeChanged(a, mode); },
                                 "Feature8350MicrophoneBlendAdjust::Report::onMicModeChanged");
    }
}

} // namespace devio

DEVIO_REGISTER_FEATURE(Feature8350MicrophoneBlendAdjust, 0x8350)
