// Product ids of the maker's devices, receivers and bootloaders.
// Every table of the program that names a product takes its ids from here,
// so that the device manager, the application, the engine and the catalogue agree.
#pragma once

#include <cstdint>

namespace quillon {
namespace ids {

// USB vendor id of every protocol device, receiver and bootloader.
constexpr std::uint16_t kVendorId = 0x7E51;

// ---- Receivers in application mode -------------------------------------------------
constexpr std::uint16_t kSorrelReceiver = 0xC500;           // one-slot legacy receiver
constexpr std::uint16_t kMiraReceiver[4] = {0xC510, 0xC511, 0xC512, 0xC513};
constexpr std::uint16_t kVelmiraReceiver[4] = {0xC520, 0xC521, 0xC522, 0xC523};
constexpr std::uint16_t kQvReceiver[2] = {0xC530, 0xC531};
constexpr std::uint16_t kQvGamingReceiver[8] = {0xC540, 0xC541, 0xC542, 0xC543,
                                                0xC544, 0xC545, 0xC546, 0xC547};
constexpr std::uint16_t kVelmiraRomReceiver = 0xC550;

// ---- Device manager: receivers that become a receiver bus, with their slot counts ----
struct ReceiverSlots {
    std::uint16_t productId;
    std::uint32_t slotCount;
};
constexpr ReceiverSlots kReceiverSlotCounts[15] = {
    {0xC510, 6}, {0xC511, 6}, {0xC512, 6}, {0xC513, 6},
    {0xC520, 6}, {0xC521, 6}, {0xC522, 6},
    {0xC530, 6}, {0xC531, 7},
    {0xC540, 1}, {0xC541, 1}, {0xC542, 1}, {0xC543, 1},
    {0xC544, 2}, {0xC545, 2},
};

// Slot count of a receiver, 0 when the id is not a receiver bus.
constexpr std::uint32_t receiverSlotCount(std::uint32_t productId) {
    for (const auto& row : kReceiverSlotCounts)
        if (row.productId == productId) return row.slotCount;
    return 0;
}

// The two-slot pair that the receiver interface recognises.
constexpr std::uint16_t kReceiverPidPair[2] = {0xC544, 0xC545};

// ---- Application: receiver ids that the provider leaves to the engine ---------------
constexpr std::uint16_t kProviderReceiverIds[7] = {0xC510, 0xC511, 0xC520, 0xC521,
                                                   0xC530, 0xC531, 0xC540};

// ---- Engine: receiver product table {product id, receiver kind, collection mask} -----
struct EngineReceiverRow {
    std::uint16_t productId;
    std::uint32_t kind;   // 0 Sorrel, 2 Mira, 3 Velmira, 4 QV, 9 QV gaming, 10 Velmira ROM
    std::uint32_t mask;   // collections that must be open before the receiver starts
};
constexpr EngineReceiverRow kEngineReceiverTable[20] = {
    {0xC500, 0, 0x01},
    {0xC510, 2, 0x03}, {0xC511, 2, 0x03}, {0xC512, 2, 0x03}, {0xC513, 2, 0x03},
    {0xC520, 3, 0x03}, {0xC521, 3, 0x03}, {0xC522, 3, 0x03}, {0xC523, 3, 0x0B},
    {0xC530, 4, 0x03}, {0xC531, 4, 0x03},
    {0xC540, 9, 0x03}, {0xC541, 9, 0x03}, {0xC542, 9, 0x03}, {0xC543, 9, 0x03},
    {0xC544, 9, 0x03}, {0xC545, 9, 0x03}, {0xC546, 9, 0x03}, {0xC547, 9, 0x03},
    {0xC550, 10, 0x03},
};

// ---- Engine: receiver bootloader product ids, by update protocol ---------------------
constexpr std::uint16_t kBootloaderPureHid[2] = {0xAA10, 0xAA11};                    // mask 4
constexpr std::uint16_t kBootloaderWrenHid[5] = {0xAA20, 0xAA21, 0xAA22, 0xAA23, 0xAA24}; // mask 8
constexpr std::uint16_t kBootloaderFenMarl[7] = {0xAA30, 0xAA31, 0xAA32, 0xAA33,
                                                 0xAA34, 0xAA35, 0xAA36};             // mask 16

// ---- Catalogue: receiver and the bootloader it restarts into ------------------------
struct ReceiverBootloaderPair {
    std::uint16_t receiverProductId;
    std::uint16_t bootloaderProductId;
};
constexpr ReceiverBootloaderPair kCatalogueReceivers[7] = {
    {0xC510, 0xAA10}, {0xC511, 0xAA11},   // PureHid family
    {0xC520, 0xAA20}, {0xC521, 0xAA21},   // WrenHid family
    {0xC530, 0xAA30}, {0xC531, 0xAA31},   // FenMarl family
    {0xC540, 0xAA32},
};

// ---- Catalogue: keyboards and mouse (id through a receiver or USB, id over Bluetooth) --
struct DeviceIds {
    std::uint16_t productId;
    std::uint16_t bluetoothProductId;   // 0: no Bluetooth
};
constexpr DeviceIds kKeyboardA = {0x4001, 0xB001};   // takes Bluetooth
constexpr DeviceIds kKeyboardB = {0x4002, 0};
constexpr DeviceIds kKeyboardC = {0x4003, 0};
constexpr DeviceIds kKeyboardD = {0x4004, 0};
constexpr DeviceIds kKeyboardE = {0x4005, 0};
constexpr DeviceIds kKeyboardF = {0x4006, 0};
constexpr DeviceIds kMouseA = {0x4010, 0xB010};      // takes Bluetooth

// The id a device's firmware images carry: over Bluetooth a device shows its Bluetooth id, but
// its images are those of its wired id. Any other id is its own.
constexpr DeviceIds kBluetoothDevices[2] = {kKeyboardA, kMouseA};
constexpr std::uint16_t imageProductIdOf(std::uint16_t productId) {
    for (const DeviceIds& d : kBluetoothDevices)
        if (d.bluetoothProductId == productId) return d.productId;
    return productId;
}

// ---- Per-key lighting 0x8080: the two products it treats apart --------------------------
constexpr std::uint16_t kPerKeyInfoQuirkProductId = 0xC339;   // information word w0 loses bit 1
constexpr std::uint16_t kPerKeyFilterProductId = 0xC33A;      // writes to set 0x0040 keep keys 1 and 2

}  // namespace ids
}  // namespace quillon
