// What a simulated receiver runs: its application firmware version and the bootloader it
// restarts into. The defaults follow the product ids and the engine's protocol selection, so a
// receiver made from its product id alone is updated by the protocol its bootloader speaks.
#pragma once

#include <cstdint>
#include <string>

namespace platform::sim {

// Receiver bootloaders: the plain one writes every record at once; the buffered two stage 128-byte
// pages (they differ only in the engine).
enum class SimBootloaderFamily { None, PureHid, WrenHid, FenMarl };

struct SimReceiverVersion {
    std::uint8_t number = 0x12;
    std::uint8_t release = 0x01;
    std::uint16_t build = 0x0010;
    std::uint16_t hardware = 0x0001;
    std::uint8_t bootloaderMajor = 0x01;
    std::uint8_t bootloaderMinor = 0x05;
};

struct SimReceiverFirmware {
    SimReceiverVersion version;
    // What an accepted image makes of the version.
    SimReceiverVersion updated;
    SimBootloaderFamily family = SimBootloaderFamily::PureHid;
    std::uint16_t bootloaderProductId = 0;
};

// The firmware of a receiver with this product id as it leaves the factory: C510 runs firmware
// 0x12 and restarts into bootloader AA10, and so on for the other receiver/bootloader pairs.
SimReceiverFirmware default_receiver_firmware(std::uint16_t productId);
// The family whose bootloaders include this product id (None when no family does).
SimBootloaderFamily bootloader_family_of(std::uint16_t bootloaderProductId);
// The first bootloader product id of a family (0 for None).
std::uint16_t first_bootloader_of(SimBootloaderFamily family);

// "pure-hid", "wren-hid", "fen-marl", "none".
const char* family_name(SimBootloaderFamily family);
bool parse_family(const std::string& text, SimBootloaderFamily& out);
// "12.01.0010": firmware number, release and build in hexadecimal; an optional fourth and fifth
// part give the bootloader major and minor. False (out unchanged) for anything else.
bool parse_receiver_version(const std::string& text, SimReceiverVersion& out);

}  // namespace platform::sim
