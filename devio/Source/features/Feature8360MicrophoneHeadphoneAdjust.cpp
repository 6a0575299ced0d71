#include "features/Feature8360MicrophoneHeadphoneAdjust.h"

#include "features/FeatureHelpers.h"
#include "features/FeatureRegistry.h"

namespace devio {

bool Feature8360MicrophoneHeadphoneAdjust::GetAudioInfo(std::uint32_t& value) { return shared_ops::get_audio_info(*this, value); }

bool Feature8360MicrophoneHeadphoneAdjust::GetLevelInfo(std::uint8_t index, std::uint32_t& a, std::uint32_t& b)
{
    return shared_ops::get_level_info(*this, index, a, b);
}

bool Feature8360MicrophoneHeadphoneAdjust::GetLevelEntry(std::uint8_t index, std::uint8_t entry, std::uint32_t& a, std::uint32_t& b,
                                        std::uint32_t& c, std::uint32_t& d)
{
    return shared_ops::get_level_entry(*this, index, entry, a, b, c, d);
}

bool Feature8360MicrophoneHeadphoneAdjust::SetLevel(std::uint8_t first, std::uint8_t second, std::uint8_t third, std::uint32_t& a,
                                   std::uint32_t& b, std::uint32_t& c)
{
    return shared_ops::set_level(*this, first, second, third, a, b, c);
}

void Feature8360MicrophoneHeadphoneAdjust::on_notification(int function, const std::vector<Byte>& payload)
{
    int count = 0;
    bool on = false;
    std::vector<int> levels;
    if (!shared_ops::decode_level_event(function, payload, count, on, levels))
        return;
    Producer<Report>::notify([count, on, levels](Report* s) { s->onJackLevelChanged(count, on, levels); },
                             "Feature8360MicrophoneHeadphoneAdjust::Report::onJackLevelChanged");
}

} // namespace devio

DEVIO_REGISTER_FEATURE(Feature8360MicrophoneHeadphoneAdjust, 0x8360)
