#include "features/Feature8100OnboardProfiles.h"

#include "features/FeatureHelpers.h"
#include "features/FeatureRegistry.h"

namespace devio {

namespace {
std::vector<Byte> words(std::initializer_list<std::uint16_t> values)
{
    std::vector<Byte> p;
    for (std::uint16_t v : values)
        put_be16(p, v);
    return p;
}
} // namespace

bool Feature8100OnboardProfiles::GetOnboardProfilesInfo(OnboardProfilesInfo& info)
{
    std::vector<Byte> r;
    if (!read_reply(*this, 0, {}, ReplyRule::strict(10), r))
        return false;
    info.b0 = r[0];
    info.b1 = r[1];
    info.b2 = r[2];
    info.b3 = r[3];
    info.b4 = r[4];
    info.b5 = r[5];
    info.b6 = r[6];
    info.value16 = read_be16(r, 7);
    info.flagA = (r[9] & 0x03) == 0x02;
    info.flagB = (r[9] & 0x0C) == 0x08;
    info.field2 = (r[9] >> 4) & 0x03;
    return true;
}

bool Feature8100OnboardProfiles::SetOnboardMode(bool onboard)
{
    return write_request(*this, 1, {static_cast<Byte>(onboard ? 1 : 2)});
}

bool Feature8100OnboardProfiles::GetOnboardMode(bool& onboard)
{
    std::vector<Byte> r;
    if (!read_reply(*this, 2, {}, ReplyRule::strict(1), r))
        return false;
    onboard = r[0] == 1;
    return true;
}

bool Feature8100OnboardProfiles::SetWord(std::uint16_t value) { return write_request(*this, 3, words({value})); }

bool Feature8100OnboardProfiles::GetWord(std::uint32_t& value)
{
    std::vector<Byte> r;
    if (!read_reply(*this, 4, {}, ReplyRule::strict(2), r))
        return false;
    value = read_be16(r, 0);
    return true;
}

bool Feature8100OnboardProfiles::ReadBlock(std::uint16_t a, std::uint16_t b, std::uint8_t length,
                                           std::vector<Byte>& bytes)
{
    std::vector<Byte> params = words({a, b});
    params.push_back(length);
    return read_reply(*this, 5, params, ReplyRule::strict(length), bytes);
}

bool Feature8100OnboardProfiles::ReadBlock(std::uint16_t a, std::uint16_t b, std::vector<Byte>& bytes)
{
    return read_reply(*this, 5, words({a, b}), ReplyRule::strict(16), bytes);
}

bool Feature8100OnboardProfiles::SetThreeWords(std::uint16_t a, std::uint16_t b, std::uint16_t c)
{
    return shared_ops::set_three_words(*this, a, b, c);
}

bool Feature8100OnboardProfiles::SendDataBlock(const std::vector<Byte>& bytes, std::uint32_t& value)
{
    if (bytes.empty() || bytes.size() > 16)
        return false;
    std::vector<Byte> params = bytes;
    params.resize(16, 0);
    std::vector<Byte> r;
    if (!read_reply(*this, 7, params, ReplyRule::strict(2), r))
        return false;
    value = read_be16(r, 0);
    return true;
}

bool Feature8100OnboardProfiles::CallFunction8() { return write_request(*this, 8, {}); }

bool Feature8100OnboardProfiles::SetTwoWords(std::uint16_t a, std::uint16_t b)
{
    return write_request(*this, 9, words({a, b}));
}

bool Feature8100OnboardProfiles::QueryBytes(std::uint16_t a, std::vector<Byte>& bytes)
{
    return read_reply(*this, 10, words({a}), ReplyRule::any(), bytes);
}

bool Feature8100OnboardProfiles::GetByteValue(std::uint32_t& value)
{
    std::vector<Byte> r;
    if (!read_reply(*this, 11, {}, ReplyRule::any(), r))
        return false;
    value = byte_at(r, 0);
    return true;
}

bool Feature8100OnboardProfiles::SetByteValue(std::uint8_t value) { return write_request(*this, 12, {value}); }

void Feature8100OnboardProfiles::on_notification(int function, const std::vector<Byte>& payload)
{
    if (function == 0 && payload.size() >= 2) {
        const auto profile = static_cast<ProfileId>(read_be16(payload, 0));
        Producer<Report>::notify([profile](Report* s) { s->onProfileActivated(profile); },
                                 "Feature8100OnboardProfiles::Report::onProfileActivated");
    } else if (function == 1 && !payload.empty()) {
        const int value = payload[0];
        Producer<Report>::notify([value](Report* s) { s->onActiveProfileResolutionChanged(value); },
                                 "Feature8100OnboardProfiles::Report::onActiveProfileResolutionChanged");
    }
}

} // namespace devio

DEVIO_REGISTER_FEATURE(Feature8100OnboardProfiles, 0x8100)
