#include "features/Feature8080PerKeyLighting.h"

#include "core/Request.h"
#include "device/IDevice.h"
#include "features/FeatureHelpers.h"
#include "features/FeatureRegistry.h"
#include "quillon/ProductIds.h"

#include <algorithm>
#include <limits>

namespace devio {

namespace {

constexpr std::size_t kUnlimited = std::numeric_limits<std::size_t>::max();
constexpr std::uint16_t kFilteredSelector = 0x0040;

std::vector<Byte> selector_bytes(std::uint16_t selector)
{
    std::vector<Byte> params;
    put_be16(params, selector);
    return params;
}

// A queued paint is replaced only by one of the same set: both selector bytes must match.
bool same_set(const std::vector<Byte>& queued, const std::vector<Byte>& next)
{
    return queued.size() >= 2 && next.size() >= 2 && queued[0] == next[0] && queued[1] == next[1];
}

} // namespace

bool Feature8080PerKeyLighting::GetInfo(PerKeyLightingInfo& info)
{
    std::vector<Byte> r;
    if (!read_reply(*this, 0, {}, ReplyRule::strict(7), r))
        return false;
    info.w0 = read_be16(r, 0);
    info.w1 = read_be16(r, 3);
    info.w2 = read_be16(r, 5);
    auto dev = device();
    if (dev && dev->getProductId() == quillon::ids::kPerKeyInfoQuirkProductId)
        info.w0 &= 0xFFFD;
    return true;
}

bool Feature8080PerKeyLighting::GetKeySetInfo(std::uint16_t selector, KeySetInfo& info)
{
    std::vector<Byte> r;
    if (!read_reply(*this, 1, selector_bytes(selector), ReplyRule::strict(5), r))
        return false;
    info.count = read_be16(r, 0);
    info.b2 = r[2];
    info.b3 = r[3];
    info.b4 = r[4];
    return true;
}

bool Feature8080PerKeyLighting::GetKeys(std::uint16_t selector, std::uint8_t option, std::vector<KeyRecord>& keys)
{
    KeySetInfo set;
    if (!GetKeySetInfo(selector, set))
        return false;
    keys.clear();
    std::uint32_t remaining = set.count;
    std::uint32_t index = 0;
    while (remaining > 0) {
        const std::uint32_t n = std::min<std::uint32_t>(remaining, kRecordsPerRequest);
        std::vector<Byte> params = selector_bytes(selector);
        put_be16(params, index);
        params.push_back(option);
        std::vector<Byte> r;
        if (!read_reply(*this, 2, params, ReplyRule::strict(4 + 4 * n), r))
            return false;
        for (std::size_t at = 4; at + 4 <= r.size(); at += 4) {
            if (r[at] != 0)
                keys.push_back(KeyRecord{r[at], r[at + 1], r[at + 2], r[at + 3]});
        }
        remaining -= n;
        index += n;
    }
    return true;
}

bool Feature8080PerKeyLighting::GetKeys(std::uint16_t selector, std::vector<KeyRecord>& keys)
{
    return GetKeys(selector, 0, keys);
}

std::vector<std::vector<Byte>> Feature8080PerKeyLighting::batches(std::uint16_t selector,
                                                                  const std::vector<KeyRecord>& records)
{
    std::vector<KeyRecord> kept;
    auto dev = device();
    const bool filter = dev && dev->getProductId() == quillon::ids::kPerKeyFilterProductId &&
                        selector == kFilteredSelector;
    for (const KeyRecord& k : records) {
        if (!filter || k.keyId == 1 || k.keyId == 2)
            kept.push_back(k);
    }
    std::vector<std::vector<Byte>> out;
    std::size_t at = 0;
    do {
        const std::size_t n = std::min(kept.size() - at, kRecordsPerRequest);
        std::vector<Byte> params = selector_bytes(selector);
        put_be16(params, static_cast<std::uint32_t>(n));
        for (std::size_t k = at; k < at + n; ++k)
            params.insert(params.end(), {kept[k].keyId, kept[k].red, kept[k].green, kept[k].blue});
        out.push_back(std::move(params));
        at += n;
    } while (at < kept.size());
    return out;
}

bool Feature8080PerKeyLighting::SetKeyColors(std::uint16_t selector, std::vector<KeyRecord> records)
{
    // In order, each batch only after the previous one went through.
    for (const auto& params : batches(selector, records)) {
        if (!write_request(*this, 3, params, 0, kUnlimited))
            return false;
    }
    return true;
}

bool Feature8080PerKeyLighting::SetAllKeysToColor(std::uint16_t selector, Byte red, Byte green, Byte blue)
{
    std::vector<Byte> params = selector_bytes(selector);
    params.insert(params.end(), {red, green, blue});
    return write_request(*this, 4, params);
}

bool Feature8080PerKeyLighting::Flush(std::uint8_t persistence) { return write_request(*this, 5, {persistence}); }

bool Feature8080PerKeyLighting::Flush() { return write_request(*this, 5, {}); }

std::shared_ptr<IRequest> Feature8080PerKeyLighting::SetKeyColorsAsync(std::uint16_t selector,
                                                                       std::vector<KeyRecord> records)
{
    static const char* const kLabel = "decoding Feature8080PeerKeyLighting::SetKeyColorsAsync response";
    const auto params = batches(selector, records);
    // Queued last batch first; requests[k] is batch k's.
    std::vector<std::shared_ptr<IRequest>> requests(params.size());
    for (std::size_t k = params.size(); k-- > 0;)
        requests[k] = chain_request(execute_async(3, params[k], 0, nullptr, {}, 0), kLabel);
    if (requests.size() == 1)
        return requests[0];

    // The caller's request follows the batches in the order they are answered (last batch first)
    // and ends with the outcome of the first batch, in batch order, that failed.
    struct Outcomes {
        std::vector<ErrorRecord> records;
    };
    auto outcomes = std::make_shared<Outcomes>();
    outcomes->records.resize(requests.size());
    std::shared_ptr<IRequest> chain = requests.back();
    for (std::size_t k = requests.size(); k-- > 0;) {
        std::shared_ptr<IRequest> next = k > 0 ? requests[k - 1] : nullptr;
        chain = chain->then(
            outcomes,
            [outcomes, k, next](bool ok) -> std::shared_ptr<IRequest> {
                outcomes->records[k] = ok ? ErrorRecord{} : last_error_record();
                if (next)
                    return next;
                for (const ErrorRecord& r : outcomes->records) {
                    if (r.code != 0)
                        return make_immediate_result(r.code, r.text, r.detail);
                }
                return make_immediate_success();
            },
            kLabel);
    }
    return chain;
}

std::shared_ptr<IRequest> Feature8080PerKeyLighting::SetAllKeysToColorAsync(std::uint16_t selector, Byte red,
                                                                            Byte green, Byte blue)
{
    std::vector<Byte> params = selector_bytes(selector);
    params.insert(params.end(), {red, green, blue});
    return write_async(*this, 4, params, same_set,
                       "decoding Feature8080PeerKeyLighting::SetAllKeysToColorAsync response");
}

std::shared_ptr<IRequest> Feature8080PerKeyLighting::FlushAsync(std::uint8_t persistence)
{
    return write_async(*this, 5, {persistence}, nullptr,
                       "decoding Feature8080PeerKeyLighting::FlushAsync with persistence response");
}

std::shared_ptr<IRequest> Feature8080PerKeyLighting::FlushAsync()
{
    return write_async(*this, 5, {}, nullptr, "decoding Feature8080PeerKeyLighting::FlushAsync response");
}

} // namespace devio

DEVIO_REGISTER_FEATURE(Feature8080PerKeyLighting, 0x8080)
