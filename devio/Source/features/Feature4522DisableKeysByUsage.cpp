#include "features/Feature4522DisableKeysByUsage.h"

#include "core/ErrorRecord.h"
#include "features/FeatureHelpers.h"
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
    std::uint32_t value = 0;
    if (!shared_ops::get_led_count(*this, value))
        return false;
    if (count)
        *count = value;
    return true;
}

bool Feature4522DisableKeysByUsage::DisableKeys(const std::vector<std::uint32_t>& usages)
{
    std::size_t from = 0;
    do {
        const std::size_t n = std::min(kUsagesPerRequest, usages.size() - from);
        if (!write_request(*this, 1, usage_params(usages, from, n)))
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
    // More usages than one long report holds are refused before anything is sent (code 46).
    const std::size_t n = std::min<std::size_t>(count, usages.size());
    return write_request(*this, 2, usage_params(usages, 0, n));
}

bool Feature4522DisableKeysByUsage::EnableAllKeys() { return shared_ops::surface_tuning_command3(*this); }

} // namespace devio

DEVIO_REGISTER_FEATURE(Feature4522DisableKeysByUsage, 0x4522)
