#include "features/Feature8310Equalizer.h"

#include "features/FeatureRegistry.h"

#include <algorithm>

namespace devio {

bool Feature8310Equalizer::GetEqualizerInfo(EqualizerInfo& info)
{
    std::vector<Byte> r;
    if (!read_reply(*this, 0, {}, ReplyRule::strict(5), r, 1))
        return false;
    info.bandCount = r[0];
    info.infoByte1 = r[1];
    info.infoByte2 = r[2];
    info.infoByte3 = r[3];
    info.infoByte4 = r[4];
    return true;
}

bool Feature8310Equalizer::GetBandValues(int start, std::vector<std::uint32_t>& values)
{
    EqualizerInfo info;
    if (!GetEqualizerInfo(info))
        return false;
    if (start < 0 || static_cast<std::uint32_t>(start) >= info.bandCount)
        return false;
    std::vector<Byte> r;
    if (!read_reply(*this, 1, {static_cast<Byte>(start)}, ReplyRule::strict(2), r, 1))
        return false;
    values.clear();
    const std::size_t n = std::min<std::size_t>(info.bandCount - start, (r.size() - 1) / 2);
    for (std::size_t i = 1; i <= n; ++i)
        values.push_back(read_be16(r, 2 * i - 1));
    return true;
}

bool Feature8310Equalizer::GetBandLevels(std::vector<int>& levels)
{
    EqualizerInfo info;
    std::vector<Byte> r;
    if (!GetEqualizerInfo(info) || !read_reply(*this, 2, {}, ReplyRule::strict(1), r))
        return false;
    const std::size_t n = std::min<std::size_t>(info.bandCount, r.size());
    for (std::size_t i = 0; i < n; ++i)
        levels.push_back(sign8(r[i]));
    return true;
}

bool Feature8310Equalizer::SetBandLevels(const std::uint8_t& first, const std::vector<int>& levels)
{
    std::vector<Byte> params{first};
    for (int level : levels)
        params.push_back(static_cast<Byte>(level));
    return write_request(*this, 3, params);
}

bool Feature8310Equalizer::GetEqualizerState(std::uint32_t& value)
{
    std::vector<Byte> r;
    if (!read_reply(*this, 4, {}, ReplyRule::strict(1), r))
        return false;
    value = r[0];
    return true;
}

bool Feature8310Equalizer::SetEqualizerState(const std::uint32_t& value)
{
    if (value >= 2) {
        set_last_error(46, 0, nullptr);
        return false;
    }
    return write_request(*this, 5, {static_cast<Byte>(value)});
}

std::uint32_t Feature8310Equalizer::feature_version() { return m_version.read(*this); }

} // namespace devio

DEVIO_REGISTER_FEATURE(Feature8310Equalizer, 0x8310)
