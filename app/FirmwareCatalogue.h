// The built-in firmware catalogue: the newest firmware of every supported keyboard, mouse
// and receiver, with the resource paths (":/firmware/...") of the images to write.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>

struct FirmwareVersion {
    const char* prefix;      // family prefix; "BL" for a receiver's bootloader
    std::uint32_t number;    // first component of a version text
    std::uint32_t revision;  // second component
    std::uint32_t build;     // low 8 bits of the third component
};

enum : std::uint32_t {
    kFirmwareKindKeyboard = 2,
    kFirmwareKindMouse = 3,
};

struct DeviceFirmwareEntry {
    const char* name;
    std::uint32_t productId;            // through a receiver or USB
    std::uint32_t bluetoothProductId;   // 0: none
    std::uint8_t acceptBluetooth;       // take on a device showing bluetoothProductId
    std::uint32_t kind;                 // kFirmwareKindKeyboard or kFirmwareKindMouse
    FirmwareVersion version;
    const char* imagePath;        // ".dfu"
    const char* secondImagePath;  // ".dfu" carrying the radio stack; "" when there is none
};

struct ReceiverFirmwareEntry {
    std::uint32_t receiverProductId;
    std::uint32_t bootloaderProductId;
    FirmwareVersion firmware;
    FirmwareVersion bootloader;   // prefix "BL"; its revision selects the row
    const char* hexPath;          // Intel HEX image
    const char* signaturePath;    // 256-byte ".pkcs1"; "" for unsigned images
};

constexpr std::size_t kDeviceFirmwareCount = 7;
constexpr std::size_t kReceiverFirmwareCount = 17;

const std::array<DeviceFirmwareEntry, kDeviceFirmwareCount>& deviceFirmwareTable();
const std::array<ReceiverFirmwareEntry, kReceiverFirmwareCount>& receiverFirmwareTable();

// Matching rules. Each takes the table to search (rows, count), so tests can hand their own.

// Arrival: the first row whose productId equals, or whose bluetoothProductId equals while
// acceptBluetooth is set. Null when none.
const DeviceFirmwareEntry* matchDeviceOnArrival(const DeviceFirmwareEntry* rows, std::size_t count,
                                                std::uint32_t productId);
// (Re)connection: the last row whose productId or bluetoothProductId equals, whatever
// acceptBluetooth says. Null when none.
const DeviceFirmwareEntry* matchDeviceOnConnect(const DeviceFirmwareEntry* rows, std::size_t count,
                                                std::uint32_t productId);
// Receiver arrival: the first row whose receiverProductId or bootloaderProductId equals.
const ReceiverFirmwareEntry* matchReceiverOnArrival(const ReceiverFirmwareEntry* rows, std::size_t count,
                                                    std::uint32_t productId);

// The three components of a dot-separated hexadecimal version text ("1.2.33" is
// {0x01, 0x02, 0x33}). False when the text does not hold three hexadecimal components.
bool parseDottedVersion(const char* text, std::uint32_t out[3]);
// Up to date: each component at least the row's number, revision and build (the third in
// its low 8 bits). A text that cannot be read is not up to date.
bool isVersionUpToDate(const char* versionText, const FirmwareVersion& newest);
