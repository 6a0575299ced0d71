// The small Bluetooth parsers of outside data, chosen by the first byte: a GATT interface path's
// product id, an instance name's and a registry value's address, the stack's custom-event data,
// a PnP ID, and the report mappings both ways on both paths.
#include "bluetooth/BluetoothEvents.h"
#include "bluetooth/GattMapping.h"

#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    if (size == 0)
        return 0;
    const std::uint8_t which = data[0] % 8;
    const std::uint8_t* rest = data + 1;
    const std::size_t n = size - 1;
    const std::string text(reinterpret_cast<const char*>(rest), n);
    unsigned length = 0;
    switch (which) {
    case 0:
        devio::gatt_path_product_id(text);
        break;
    case 1:
        devio::address_from_instance_name(text);
        if (auto a = devio::address_from_registry_value(rest, n); a && n != 8)
            std::abort();
        break;
    case 2:
        devio::parse_l2cap_event(rest, n);
        devio::parse_radio_in_range_event(rest, n);
        break;
    case 3:
        if (auto pid = devio::pnp_id_product_id(rest, n); pid && n < 5)
            std::abort();
        break;
    case 4:
    case 5: {
        const auto report = devio::gatt_value_to_report(rest, n, which == 5, length);
        if (report.size() != devio::kGattReportLength)
            std::abort();
        break;
    }
    case 6: {
        if (n < 2 || n > 20)
            break;
        const std::vector<devio::Byte> report(rest, rest + n);
        // A report of report id and index alone carries an empty value; anything longer keeps a byte.
        if (devio::gatt_report_to_value(report, true).size() != 19 ||
            devio::gatt_report_to_value(report, false).empty() != (n == 2))
            std::abort();
        break;
    }
    case 7: {
        const std::vector<devio::Byte> report(rest, rest + n);
        if (devio::winrt_report_to_payload(report).size() != 18 ||
            devio::winrt_value_to_report(rest, n, length).size() != devio::kGattReportLength)
            std::abort();
        break;
    }
    }
    return 0;
}
