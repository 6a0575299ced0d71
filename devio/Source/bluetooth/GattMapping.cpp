#include "bluetooth/GattMapping.h"

#include <cerrno>
#include <cstdlib>

namespace devio {

namespace {
// [id, 0xFF (unless direct), value...] made exactly 20 bytes.
std::vector<Byte> make_report(Byte id, bool withIndex, const Byte* value, std::size_t size)
{
    std::vector<Byte> report(kGattReportLength, 0);
    report[0] = id;
    std::size_t at = 1;
    if (withIndex)
        report[at++] = 0xFF;
    for (std::size_t i = 0; value && i < size && at < kGattReportLength; ++i)
        report[at++] = value[i];
    return report;
}
} // namespace

std::vector<Byte> gatt_value_to_report(const Byte* value, std::size_t size, bool directIndex, unsigned& length)
{
    length = static_cast<unsigned>(size + (directIndex ? 1 : 2));
    return make_report(size < 8 ? 0x10 : 0x11, !directIndex, value, size);
}

std::vector<Byte> gatt_report_to_value(const std::vector<Byte>& report, bool directIndex)
{
    if (directIndex) {
        std::vector<Byte> padded = report;
        padded.resize(kGattReportLength, 0);
        return std::vector<Byte>(padded.begin() + 1, padded.end());
    }
    std::vector<Byte> value(report.size() > 2 ? report.begin() + 2 : report.end(), report.end());
    while (value.size() > 1 && value.back() == 0)
        value.pop_back();
    return value;
}

std::uint16_t gatt_path_product_id(const std::string& path)
{
    const std::size_t brace = path.find("}_dev_vid&02");
    if (brace == std::string::npos || path.size() - brace <= 25)
        return 0;
    const std::string digits = path.substr(brace + 21, 4);
    // As the standard library's stol reads it; no number gives 0.
    errno = 0;
    char* end = nullptr;
    const long value = std::strtol(digits.c_str(), &end, 16);
    if (end == digits.c_str() || errno == ERANGE)
        return 0;
    return static_cast<std::uint16_t>(value & 0xFFFF);
}

std::vector<Byte> winrt_report_to_payload(const std::vector<Byte>& report)
{
    std::vector<Byte> payload(report.size() > 2 ? report.begin() + 2 : report.end(), report.end());
    payload.resize(18, 0);
    return payload;
}

std::vector<Byte> winrt_value_to_report(const Byte* value, std::size_t size, unsigned& length)
{
    length = static_cast<unsigned>(size + 2);
    return make_report(size <= 7 ? 0x10 : 0x11, true, value, size);
}

std::optional<std::uint16_t> pnp_id_product_id(const Byte* value, std::size_t size)
{
    if (!value || size < 5)
        return std::nullopt;
    return static_cast<std::uint16_t>(value[3] | value[4] << 8);
}

} // namespace devio
