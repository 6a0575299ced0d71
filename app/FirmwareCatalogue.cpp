#include "FirmwareCatalogue.h"

#include "HexDigit.h"
#include "quillon/ProductIds.h"

#include <cstdlib>

namespace {

namespace ids = quillon::ids;

// Versions in the devices' hexadecimal reading: "12.1.33" is {0x12, 0x01, 0x33}.
constexpr std::array<DeviceFirmwareEntry, kDeviceFirmwareCount> kDevices = {{
    {"Tarn Keys Aster", ids::kKeyboardA.productId, ids::kKeyboardA.bluetoothProductId, 1, kFirmwareKindKeyboard,
     {"MPK", 0x12, 0x01, 0x33}, ":/firmware/MPK12_01_B0033.dfu", ":/firmware/MPK12_01_B0033_radio.dfu"},
    {"Tarn Keys Birch", ids::kKeyboardB.productId, ids::kKeyboardB.bluetoothProductId, 0, kFirmwareKindKeyboard,
     {"MPK", 0x08, 0x04, 0x21}, ":/firmware/MPK08_04_B0021.dfu", ""},
    {"Tarn Keys Cedar", ids::kKeyboardC.productId, ids::kKeyboardC.bluetoothProductId, 0, kFirmwareKindKeyboard,
     {"MPK", 0x09, 0x02, 0x05}, ":/firmware/MPK09_02_B0005.dfu", ""},
    {"Tarn Keys Dune", ids::kKeyboardD.productId, ids::kKeyboardD.bluetoothProductId, 0, kFirmwareKindKeyboard,
     {"MPK", 0x11, 0x00, 0x14}, ":/firmware/MPK11_00_B0014.dfu", ""},
    {"Tarn Keys Elm", ids::kKeyboardE.productId, ids::kKeyboardE.bluetoothProductId, 0, kFirmwareKindKeyboard,
     {"MPK", 0x11, 0x03, 0x02}, ":/firmware/MPK11_03_B0002.dfu", ""},
    {"Tarn Keys Fern", ids::kKeyboardF.productId, ids::kKeyboardF.bluetoothProductId, 0, kFirmwareKindKeyboard,
     {"MPK", 0x10, 0x01, 0x40}, ":/firmware/MPK10_01_B0040.dfu", ""},
    {"Tarn Mouse Gale", ids::kMouseA.productId, ids::kMouseA.bluetoothProductId, 1, kFirmwareKindMouse,
     {"MPM", 0x15, 0x02, 0x09}, ":/firmware/MPM15_02_B0009.dfu", ":/firmware/MPM15_02_B0009_radio.dfu"},
}};

constexpr const ids::ReceiverBootloaderPair& pair(int i) { return ids::kCatalogueReceivers[i]; }

// Rows of one receiver differ in the bootloader revision they are built for; one image may
// serve several of them. The PureHid family takes unsigned images.
#define RECEIVER_ROW(i, number, blRevision, image, sig)                                               \
    {pair(i).receiverProductId, pair(i).bootloaderProductId, {"RQR", number, 0x02, 0x11},               \
     {"BL", 0x00, blRevision, 0x00}, ":/firmware/" image ".hex", sig}
#define SIGNED(image) ":/firmware/" image ".pkcs1"

constexpr std::array<ReceiverFirmwareEntry, kReceiverFirmwareCount> kReceivers = {{
    RECEIVER_ROW(0, 0x12, 0x01, "RQR12_02_B0011", ""),
    RECEIVER_ROW(0, 0x12, 0x02, "RQR12_02_B0011", ""),
    RECEIVER_ROW(0, 0x12, 0x03, "RQR12_02_B0011_BL03", ""),
    RECEIVER_ROW(1, 0x21, 0x01, "RQR21_02_B0011", ""),
    RECEIVER_ROW(1, 0x21, 0x02, "RQR21_02_B0011", ""),
    RECEIVER_ROW(2, 0x13, 0x01, "RQR13_02_B0011", SIGNED("RQR13_02_B0011")),
    RECEIVER_ROW(2, 0x13, 0x02, "RQR13_02_B0011", SIGNED("RQR13_02_B0011")),
    RECEIVER_ROW(2, 0x13, 0x03, "RQR13_02_B0011_BL03", SIGNED("RQR13_02_B0011_BL03")),
    RECEIVER_ROW(3, 0x24, 0x01, "RQR24_02_B0011", SIGNED("RQR24_02_B0011")),
    RECEIVER_ROW(3, 0x24, 0x02, "RQR24_02_B0011", SIGNED("RQR24_02_B0011")),
    RECEIVER_ROW(4, 0x39, 0x01, "RQR39_02_B0011", SIGNED("RQR39_02_B0011")),
    RECEIVER_ROW(4, 0x39, 0x02, "RQR39_02_B0011", SIGNED("RQR39_02_B0011")),
    RECEIVER_ROW(4, 0x39, 0x03, "RQR39_02_B0011_BL03", SIGNED("RQR39_02_B0011_BL03")),
    RECEIVER_ROW(5, 0x40, 0x01, "RQR40_02_B0011", SIGNED("RQR40_02_B0011")),
    RECEIVER_ROW(5, 0x40, 0x02, "RQR40_02_B0011", SIGNED("RQR40_02_B0011")),
    RECEIVER_ROW(6, 0x42, 0x01, "RQR42_02_B0011", SIGNED("RQR42_02_B0011")),
    RECEIVER_ROW(6, 0x42, 0x02, "RQR42_02_B0011", SIGNED("RQR42_02_B0011")),
}};

#undef SIGNED
#undef RECEIVER_ROW

}  // namespace

const std::array<DeviceFirmwareEntry, kDeviceFirmwareCount>& deviceFirmwareTable() { return kDevices; }

const std::array<ReceiverFirmwareEntry, kReceiverFirmwareCount>& receiverFirmwareTable() { return kReceivers; }

const DeviceFirmwareEntry* matchDeviceOnArrival(const DeviceFirmwareEntry* rows, std::size_t count,
                                                std::uint32_t productId)
{
    for (std::size_t i = 0; i < count; ++i) {
        const DeviceFirmwareEntry& row = rows[i];
        if (row.productId == productId || (row.acceptBluetooth && row.bluetoothProductId == productId))
            return &row;
    }
    return nullptr;
}

const DeviceFirmwareEntry* matchDeviceOnConnect(const DeviceFirmwareEntry* rows, std::size_t count,
                                                std::uint32_t productId)
{
    const DeviceFirmwareEntry* found = nullptr;
    for (std::size_t i = 0; i < count; ++i)
        if (rows[i].productId == productId || rows[i].bluetoothProductId == productId)
            found = &rows[i];
    return found;
}

const ReceiverFirmwareEntry* matchReceiverOnArrival(const ReceiverFirmwareEntry* rows, std::size_t count,
                                                    std::uint32_t productId)
{
    for (std::size_t i = 0; i < count; ++i)
        if (rows[i].receiverProductId == productId || rows[i].bootloaderProductId == productId)
            return &rows[i];
    return nullptr;
}

bool parseDottedVersion(const char* text, std::uint32_t out[3])
{
    if (!text)
        return false;
    std::uint32_t parts[3] = {};
    const char* p = text;
    for (int i = 0; i < 3; ++i) {
        const char* end = p;
        while (*end && *end != '.')
            ++end;
        if (!quillon::read_hex_digits(std::string_view(p, static_cast<std::size_t>(end - p)), 8, &parts[i]))
            return false;
        if (i < 2) {
            if (*end != '.')
                return false;
            p = end + 1;
        } else if (*end) {
            return false;
        }
    }
    for (int i = 0; i < 3; ++i)
        out[i] = parts[i];
    return true;
}

bool isVersionUpToDate(const char* versionText, const FirmwareVersion& newest)
{
    std::uint32_t v[3];
    if (!parseDottedVersion(versionText, v))
        return false;
    return v[0] >= newest.number && v[1] >= newest.revision && (v[2] & 0xFF) >= newest.build;
}
