#include "features/Feature8060ReportRate.h"

#include "features/FeatureHelpers.h"
#include "features/FeatureRegistry.h"

namespace devio {

namespace {
bool valid_rate(std::uint32_t rate) { return rate >= 1 && rate <= 8; }
} // namespace

bool Feature8060ReportRate::GetRateInfo(std::uint8_t* value)
{
    std::vector<Byte> r;
    if (!value || !read_reply(*this, 0, {}, ReplyRule::strict(1), r))
        return false;
    *value = r[0];
    return true;
}

bool Feature8060ReportRate::GetReportRate(std::uint8_t* rate)
{
    std::vector<Byte> r;
    if (!rate || !read_reply(*this, 1, {}, ReplyRule::strict(1), r) || !valid_rate(r[0]))
        return false;
    *rate = r[0];
    return true;
}

bool Feature8060ReportRate::SetReportRate(std::uint8_t rate)
{
    return valid_rate(rate) && write_request(*this, 2, {rate});
}

} // namespace devio

DEVIO_REGISTER_FEATURE(Feature8060ReportRate, 0x8060)
