#include "features/Feature8370MicrophoneGainAdjust.h"

#include "features/FeatureHelpers.h"
#include "features/FeatureRegistry.h"

namespace devio {

bool Feature8370MicrophoneGainAdjust::GetAudioInfo(std::uint32_t& value) { return shared_ops::get_audio_info(*this, value); }

bool Feature8370MicrophoneGainAdjust::GetLevelInfo(std::uint8_t index, std::uint32_t& a, std::uint32_t& b)
{
    return shared_ops::get_level_info(*this, index, a, b);
}

bool Feature8370MicrophoneGainAdjust::GetLevelEntry(std::uint8_t index, std::uint8_t entry, std::uint32_t& a, std::uint32_t& b,
                                        std::uint32_t& c, std::uint32_t& d)
{
    return shared_ops::get_level_entry(*this, index, entry, a, b, c, d);
}

bool Feature8370MicrophoneGainAdjust::SetLevel(std::uint8_t first, std::uint8_t second, std::uint8_t third, std::uint32_t& a,
                                   std::uint32_t& b, std::uint32_t& c)
{
    return shared_ops::set_level(*this, first, second, third, a, b, c);
}

void Feature8370MicrophoneGainAdjust::on_notification(int function, const std::vector<Byte>& payload)
{
    int count = 0;
    bool on = false;
    std::vector<int> levels;
    if (!shared_ops::decode_level_event(function, payload, count, on, levels))
        return;
    Producer<Report>::notify([count, on, levels](Report* s) { s->onMicLevelChanged(count, on, levels); },
                             "Feature8370MicrophoneGainAdjust::Report::onMicLevelChanged");
}

} // namespace devio

DEVIO_REGISTER_FEATURE(Feature8370MicrophoneGainAdjust, 0x8370)
