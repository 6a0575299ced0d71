#include "features/Feature1BC0ReportHIDUsages.h"

#include "features/FeatureHelpers.h"
#include "features/FeatureRegistry.h"

#include <algorithm>

namespace devio {

bool Feature1BC0ReportHIDUsages::PlaceholderOp1() { return true; }

bool Feature1BC0ReportHIDUsages::SetUsages(std::uint8_t selector, UsagePackage package)
{
    std::size_t at = 0;
    for (;;) {
        const std::size_t n = package.usages.size() - at;
        if (n < 2)
            return false;
        const std::size_t m = std::min<std::size_t>(n, 6);
        std::vector<Byte> params{selector};
        put_be16(params, package.header);
        for (std::size_t k = 0; k < m; ++k)
            put_be16(params, package.usages[at + k]);
        if (!write_request(*this, 1, params))
            return false;
        at += m;
        if (at == package.usages.size())
            return true;
    }
}

bool Feature1BC0ReportHIDUsages::CallFunction2() { return write_request(*this, 2, {}); }

void Feature1BC0ReportHIDUsages::on_notification(int function, const std::vector<Byte>& payload)
{
    if (function != 0 || payload.size() < 2)
        return;
    UsagePackage package;
    package.header = read_be16(payload, 0);
    for (std::size_t at = 2; at + 1 < payload.size(); at += 2)
        if (const std::uint16_t usage = read_be16(payload, at))
            package.usages.push_back(usage);
    Producer<Report>::notify([package](Report* s) { s->OnUsageEvent(package); },
                             "IFeature1BC0ReportHIDUsages::Report::OnUsageEvent");
}

} // namespace devio

DEVIO_REGISTER_FEATURE(Feature1BC0ReportHIDUsages, 0x1BC0)
