#include "features/Feature1814ChangeHost.h"

#include "features/FeatureHelpers.h"
#include "features/FeatureRegistry.h"

namespace devio {

bool Feature1814ChangeHost::GetHostStatus(std::uint16_t* a, std::uint16_t* b, std::uint16_t* c)
{
    std::vector<Byte> r;
    if (!read_reply(*this, 0, {}, ReplyRule::fit(2, 3), r))
        return false;
    if (a)
        *a = r[0];
    if (b)
        *b = r[1];
    if (c)
        *c = r[2];
    return true;
}

bool Feature1814ChangeHost::SetCurrentHost(std::uint8_t host, bool waitForReply)
{
    if (waitForReply)
        return write_request(*this, 1, {host});
    return send(1, {host});
}

bool Feature1814ChangeHost::GetCookies(std::int16_t* count, std::uint16_t* buffer)
{
    if (!count || !buffer || *count <= 0)
        return false;
    std::vector<Byte> r;
    if (!read_reply(*this, 2, {}, ReplyRule::any(), r))
        return false;
    if (static_cast<std::size_t>(*count) < r.size())
        return false;
    *count = static_cast<std::int16_t>(r.size());
    for (std::size_t i = 0; i < r.size(); ++i)
        buffer[i] = r[i];
    return true;
}

bool Feature1814ChangeHost::SetCookie(std::uint16_t a, std::uint16_t b)
{
    if (!write_request(*this, 3, {static_cast<Byte>(a), static_cast<Byte>(b)}))
        return false;
    auto dev = device();
    const auto sa = static_cast<short>(a);
    const auto sb = static_cast<short>(b);
    Producer<CookieChange>::notify([dev, sa, sb](CookieChange* s) { s->onCookieChange(dev, sa, sb); },
                                   "Feature1814ChangeHost::CookieChange::onCookieChange");
    return true;
}

} // namespace devio

DEVIO_REGISTER_FEATURE(Feature1814ChangeHost, 0x1814)
