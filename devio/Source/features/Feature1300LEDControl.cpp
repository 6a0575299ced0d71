#include "features/Feature1300LEDControl.h"

#include "features/FeatureHelpers.h"
#include "features/FeatureRegistry.h"

namespace devio {

namespace {

bool valid_led(int led)
{
    if (led >= 0)
        return true;
    set_last_error(46, 0, nullptr);
    return false;
}

std::vector<Byte> state_params(int led, std::uint16_t v1, std::uint16_t v2, std::uint16_t v3, std::uint16_t v4)
{
    std::vector<Byte> params{static_cast<Byte>(led)};
    for (std::uint16_t v : {v1, v2, v3, v4})
        put_be16(params, v);
    return params;
}

} // namespace

bool Feature1300LEDControl::GetLedCount(std::uint32_t& count) { return shared_ops::get_led_count(*this, count); }

bool Feature1300LEDControl::GetLedInfo(int led, LedInfo& info)
{
    std::vector<Byte> r;
    if (!valid_led(led) || !read_reply(*this, 1, {static_cast<Byte>(led)}, ReplyRule::strict(6), r))
        return false;
    info.info0 = r[0];
    info.info1 = r[1];
    info.info2 = r[2];
    info.info3 = read_be16(r, 3);
    info.info4 = r[5];
    return true;
}

bool Feature1300LEDControl::GetLedControl(bool& on)
{
    std::vector<Byte> r;
    if (!read_reply(*this, 2, {}, ReplyRule::strict(1), r))
        return false;
    on = r[0] != 0;
    return true;
}

bool Feature1300LEDControl::SetLedControl(std::uint8_t value) { return write_request(*this, 3, {value}); }

bool Feature1300LEDControl::GetLedState(int led, std::uint32_t& state)
{
    std::vector<Byte> r;
    if (!valid_led(led) || !read_reply(*this, 4, {static_cast<Byte>(led)}, ReplyRule::strict(2), r))
        return false;
    state = r[1];
    return true;
}

bool Feature1300LEDControl::GetLedStateDetails(int led, std::uint32_t& state, std::uint32_t& value, bool& hasExtra,
                                               std::uint32_t& extra)
{
    std::vector<Byte> r;
    if (!valid_led(led) || !read_reply(*this, 4, {static_cast<Byte>(led)}, ReplyRule::fit(2, 6), r))
        return false;
    state = r[1];
    value = r[3];
    hasExtra = r[4] == 1;
    extra = hasExtra ? r[5] : 0;
    return true;
}

bool Feature1300LEDControl::SetLedState(int led, std::uint16_t value1, std::uint16_t value2, std::uint16_t value3,
                                        std::uint16_t value4, bool async)
{
    if (!valid_led(led))
        return false;
    const auto params = state_params(led, value1, value2, value3, value4);
    if (async)
        return write_and_forget(*this, 5, params, first_byte_merge());
    return write_request(*this, 5, params);
}

bool Feature1300LEDControl::GetLedValue(int led, std::uint32_t& value)
{
    std::vector<Byte> r;
    if (!valid_led(led) || !read_reply(*this, 6, {static_cast<Byte>(led)}, ReplyRule::strict(2), r))
        return false;
    value = r[1];
    return true;
}

bool Feature1300LEDControl::SetLedValue(int led, std::uint8_t value)
{
    return valid_led(led) && write_request(*this, 7, {static_cast<Byte>(led), value});
}

std::shared_ptr<IRequest> Feature1300LEDControl::SetLedStateAsync(int led, std::uint16_t value1,
                                                                  std::uint16_t value2, std::uint16_t value3,
                                                                  std::uint16_t value4)
{
    if (!valid_led(led))
        return nullptr;
    return write_async(*this, 5, state_params(led, value1, value2, value3, value4), first_byte_merge(),
                       "decoding Feature1300LEDControl::SetLedStateAsync response");
}

} // namespace devio

DEVIO_REGISTER_FEATURE(Feature1300LEDControl, 0x1300)
