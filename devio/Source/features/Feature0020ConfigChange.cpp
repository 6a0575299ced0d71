#include "features/Feature0020ConfigChange.h"

#include "features/FeatureDecoding.h"
#include "features/FeatureRegistry.h"

namespace devio {

std::shared_ptr<IDataRequest<IFeature0020ConfigChange::GetCookieResponse>> Feature0020ConfigChange::GetCookie()
{
    return decode_request<GetCookieResponse>(
        execute_async(0, {}, 0, {}, {}, 0), 2,
        [](const std::vector<Byte>& p) {
            GetCookieResponse r;
            r.cookie = be16(p, 0);
            return r;
        },
        "decoding Feature0020ConfigChange::GetCookie response");
}

std::shared_ptr<IRequest> Feature0020ConfigChange::SetCompleteAsync(std::uint16_t cookie)
{
    return chain_request(execute_async(1, {Byte(cookie >> 8), Byte(cookie)}, 0, {}, {}, 0),
                         "decoding Feature0020ConfigChange::SetComplete response");
}

bool Feature0020ConfigChange::GetCookie(std::uint16_t* cookie)
{
    std::vector<Byte> reply;
    if (!execute_payload(0, {}, 0, 2, reply))
        return false;
    if (cookie)
        *cookie = be16(reply, 0);
    return true;
}

bool Feature0020ConfigChange::SetComplete(std::uint16_t cookie)
{
    std::vector<Byte> reply;
    return execute(1, {Byte(cookie >> 8), Byte(cookie)}, reply, 0);
}

void Feature0020ConfigChange::on_unexpected_response(unsigned function, unsigned softwareId,
                                                     const std::vector<Byte>& payload)
{
    // Another program wrote the cookie.
    if (function != 1 || payload.size() < 2)
        return;
    const std::uint16_t cookie = be16(payload, 0);
    Producer<ConfigReport>::notify([softwareId, cookie](ConfigReport* s) { s->onCookieSet(softwareId, cookie); },
                                   "Feature0020ConfigChange::ConfigReport::onCookieSet");
}

} // namespace devio

DEVIO_REGISTER_FEATURE(Feature0020ConfigChange, 0x0020)
