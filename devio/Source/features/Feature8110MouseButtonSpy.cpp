#include "features/Feature8110MouseButtonSpy.h"

#include "features/FeatureHelpers.h"
#include "features/FeatureRegistry.h"

namespace devio {

bool Feature8110MouseButtonSpy::GetButtonCount(std::uint32_t* count)
{
    std::vector<Byte> r;
    if (!count || !read_reply(*this, 0, {}, ReplyRule::strict(1), r))
        return false;
    *count = r[0];
    return true;
}

bool Feature8110MouseButtonSpy::CallFunction1() { return shared_ops::call_function1(*this); }

bool Feature8110MouseButtonSpy::CallFunction2()
{
    std::vector<Byte> r;
    return read_reply(*this, 2, {}, ReplyRule::strict(1), r);
}

bool Feature8110MouseButtonSpy::GetButtonTable(std::vector<Byte>& table)
{
    std::vector<Byte> r;
    if (!read_reply(*this, 3, {}, ReplyRule::strict(16), r))
        return false;
    table.assign(r.begin(), r.begin() + 16);
    return true;
}

bool Feature8110MouseButtonSpy::SetButtonTable(const std::vector<Byte>& table)
{
    std::vector<Byte> params(16);
    for (std::size_t i = 0; i < 16; ++i)
        params[i] = i < table.size() ? table[i] : static_cast<Byte>(i + 1);
    std::vector<Byte> r;
    return read_reply(*this, 4, params, ReplyRule::strict(16), r);
}

void Feature8110MouseButtonSpy::on_notification(int function, const std::vector<Byte>& payload)
{
    if (function != 0 || payload.size() < 8)
        return;
    const std::uint16_t buttons = read_be16(payload, 0);
    Producer<Report>::notify([buttons](Report* s) { s->onButtonReport(buttons); },
                             "Feature8110MouseButtonSpy::Report::onButtonReport");
}

} // namespace devio

DEVIO_REGISTER_FEATURE(Feature8110MouseButtonSpy, 0x8110)
