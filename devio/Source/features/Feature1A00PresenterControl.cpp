#include "features/Feature1A00PresenterControl.h"

#include "features/FeatureHelpers.h"
#include "features/FeatureRegistry.h"

namespace devio {

bool Feature1A00PresenterControl::GetPresenterSetting(unsigned short* value)
{
    std::vector<Byte> r;
    if (!read_reply(*this, 0, {0x00}, ReplyRule::strict(2), r))
        return false;
    if (value)
        *value = read_be16(r, 0);
    return true;
}

bool Feature1A00PresenterControl::SetPresenterSetting(short value, std::uint8_t extra)
{
    std::vector<Byte> params;
    put_be16(params, static_cast<std::uint16_t>(value));
    params.push_back(extra);
    return write_request(*this, 1, params);
}

bool Feature1A00PresenterControl::SetPresenterConfiguration(std::uint8_t selector, std::uint8_t config0, short config1,
                                                            std::uint8_t config3, unsigned short config4,
                                                            std::uint8_t config6, std::uint8_t config7,
                                                            std::uint8_t config8, std::uint8_t config9)
{
    std::vector<Byte> params{selector, config0};
    put_be16(params, static_cast<std::uint16_t>(config1));
    params.push_back(config3);
    put_be16(params, config4);
    params.insert(params.end(), {config6, config7, config8, config9});
    return write_request(*this, 2, params);
}

bool Feature1A00PresenterControl::GetPresenterConfiguration(std::uint8_t* config0, unsigned short* config1,
                                                            std::uint8_t* config3, unsigned short* config4,
                                                            std::uint8_t* config6, std::uint8_t* config7,
                                                            std::uint8_t* config8, std::uint8_t* config9)
{
    std::vector<Byte> r;
    if (!read_reply(*this, 3, {0x00}, ReplyRule::strict(9), r))
        return false;
    if (config0)
        *config0 = r[0];
    if (config1)
        *config1 = read_be16(r, 1);
    if (config3)
        *config3 = r[3];
    if (config4)
        *config4 = read_be16(r, 4);
    if (config6)
        *config6 = r[6];
    if (config7)
        *config7 = r[7];
    if (config8)
        *config8 = r[8];
    if (config9 && r.size() >= 10)
        *config9 = r[9];
    return true;
}

} // namespace devio

DEVIO_REGISTER_FEATURE(Feature1A00PresenterControl, 0x1A00)
