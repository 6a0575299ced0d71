// Version texts as the application reads them: the engine's wide texts through
// parseVersionText (the input as 16-bit units, at most a record field), and dotted device
// version texts through the catalogue's comparison (the input as narrow text).
#include "FirmwareCatalogue.h"
#include "cQVDevice.h"

#include <cstddef>
#include <cstdint>
#include <string>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    QV_DEVICE_INFO record{};
    const std::size_t units = std::min<std::size_t>(size / 2, 80);
    for (std::size_t i = 0; i < units; ++i)
        record.FW[i] = static_cast<WCHAR>(data[2 * i] | data[2 * i + 1] << 8);
    DFU_DEVICE_ENTRY entry{};
    if (cQVDevice::parseVersionText(record.FW, &entry) && entry.prefix[3] != 0)
        __builtin_trap();

    const std::string text(reinterpret_cast<const char*>(data), size);
    std::uint32_t parts[3] = {};
    const bool parsed = parseDottedVersion(text.c_str(), parts);
    const FirmwareVersion newest{"MPK", 0x12, 0x01, 0x33};
    // Up to date only for a text that reads as a version.
    if (isVersionUpToDate(text.c_str(), newest) && !parsed)
        __builtin_trap();
    return 0;
}
