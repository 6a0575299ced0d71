#include "features/Feature4522DisableKeysByUsage.h"

#include "core/ErrorRecord.h"
#include "features/FeatureRegistry.h"

#include <algorithm>

namespace devio {

namespace {
// Usages per request: with the closing 0x00 they fill the 16 parameter bytes of a long report.
constexpr std::size_t kUsagesPerRequest = 15;
} // namespace

std::vector<Byte> Feature4522DisableKeysByUsage::usage_params(const std::vector<std::uint32_t>& usages,
                                                              std::size_t from, std::size_t count)
{
    std::vector<Byte> params;
    params.reserve(count + 1);
    for (std::size_t i = from; i < from + count && i < usages.size(); ++i)
        params.push_back(static_cast<Byte>(usages[i]));
    params.push_back(0x00);
    return params;
}

bool Feature4522DisableKeysByUsage::GetCapabilities(std::uint32_t* count)
{
    std::vector<Byte> reply;
    if (!execute_payload(0, {}, 0, 1, reply))
        return false;
    if (count)
        *count = reply[0];
    return true;
}

bool Feature4522DisableKeysByUsage::DisableKeys(const std::vector<std::uint32_t>& usages)
{
    std::size_t from = 0;
    do {
        const std::size_t n = std::min(kUsagesPerRequest, usages.size() - from);
        std::vector<Byte> reply;
        if (!execute(1, usage_params(usages, from, n), reply, 0))
            return false;
        from += n;
    } while (from < usages.size());
    return true;
}

bool Feature4522DisableKeysByUsage::EnableKeys(const std::vector<std::uint32_t>& usages)
{
    std::uint32_t count = 0;
    if (!GetCapabilities(&count))
        return false;
    const std::size_t n = std::min<std::size_t>(count, usages.size());
    // More than fits one long report would be refused by the transport after the request was queued.
    if (n > kUsagesPerRequest) {
        set_last_error(46, 0, nullptr);
        return false;
    }
    std::vector<Byte> reply;
    return execute(2, usage_params(usages, 0, n), reply, 0);
}

bool Feature4522DisableKeysByUsage::EnableAllKeys()
{
    std::vector<Byte> reply;
    return execute(3, {}, reply, 0);
}

} // namespace devio

DEVIO_REGISTER_FEATURE(Feature4522DisableKeysByUsage, 0x4522)
