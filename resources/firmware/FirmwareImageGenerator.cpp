// Writes every firmware image the built-in catalogue names into a folder: ".dfu" images of our
// format for the keyboards and mice, Intel HEX images and their 256-byte signatures for the
// receivers. The contents are made up but fixed, and each is what the simulated bootloaders
// accept: a device image carries its product and the version it installs, a receiver image
// starts at address 0 inside the application window.
//
//   quillon_firmware_generator <folder>
#include "FirmwareCatalogue.h"

#include "devices/FirmwareSignature.h"
#include "quillon/DfuImage.h"

#include <cstdio>
#include <fstream>
#include <set>
#include <string>
#include <vector>

namespace {

constexpr std::uint32_t kMainImageSize = 3072;     // header included
constexpr std::uint32_t kRadioImageSize = 1024;    // header included: the hand-over is at 25 %
constexpr std::uint16_t kRadioVersion = 0x0301;
constexpr std::uint16_t kRadioBuild = 0x0004;
constexpr std::size_t kReceiverImageSize = 2048;
constexpr std::size_t kHexRecordSize = 16;

std::string file_name(const char* resourcePath)
{
    const std::string path = resourcePath;
    const std::string prefix = ":/firmware/";
    return path.compare(0, prefix.size(), prefix) == 0 ? path.substr(prefix.size()) : std::string();
}

// A fixed pattern that differs per file.
std::vector<std::uint8_t> pattern(const std::string& seedText, std::size_t size)
{
    std::uint32_t state = 2166136261u;
    for (char c : seedText)
        state = (state ^ static_cast<std::uint8_t>(c)) * 16777619u;
    std::vector<std::uint8_t> out(size);
    for (auto& b : out) {
        state = state * 1664525u + 1013904223u;
        b = static_cast<std::uint8_t>(state >> 24);
    }
    return out;
}

bool write(const std::string& path, const std::string& content)
{
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(content.data(), static_cast<std::streamsize>(content.size()));
    if (!out) {
        std::fprintf(stderr, "cannot write %s\n", path.c_str());
        return false;
    }
    return true;
}

std::string dfu_image(const DeviceFirmwareEntry& row, bool radio, const std::string& name)
{
    quillon::dfu::Header h;
    h.productId = static_cast<std::uint16_t>(row.productId);
    h.length = (radio ? kRadioImageSize : kMainImageSize) - static_cast<std::uint32_t>(quillon::dfu::kHeaderSize);
    h.version = radio ? kRadioVersion : static_cast<std::uint16_t>(row.version.number << 8 | row.version.revision);
    h.build = radio ? kRadioBuild : static_cast<std::uint16_t>(row.version.build);
    h.radioStack = radio;
    const auto header = quillon::dfu::encodeHeader(h);
    const auto body = pattern(name, h.length);
    std::string out(header.begin(), header.end());
    out.append(body.begin(), body.end());
    return out;
}

std::string hex_record(std::uint8_t type, std::uint16_t address, const std::uint8_t* data, std::size_t length)
{
    char text[16];
    std::string line = ":";
    unsigned sum = static_cast<unsigned>(length) + (address >> 8) + (address & 0xFF) + type;
    std::snprintf(text, sizeof text, "%02X%04X%02X", static_cast<unsigned>(length), address, type);
    line += text;
    for (std::size_t i = 0; i < length; ++i) {
        std::snprintf(text, sizeof text, "%02X", data[i]);
        line += text;
        sum += data[i];
    }
    std::snprintf(text, sizeof text, "%02X", (0x100 - (sum & 0xFF)) & 0xFF);
    line += text;
    return line + "\r\n";
}

} // namespace

int main(int argc, char** argv)
{
    if (argc != 2) {
        std::fprintf(stderr, "usage: %s <folder>\n", argv[0]);
        return 2;
    }
    const std::string folder = std::string(argv[1]) + "/";
    bool ok = true;
    for (const DeviceFirmwareEntry& row : deviceFirmwareTable()) {
        const std::string main = file_name(row.imagePath);
        ok = ok && !main.empty() && write(folder + main, dfu_image(row, false, main));
        const std::string second = file_name(row.secondImagePath);
        if (!second.empty())
            ok = ok && write(folder + second, dfu_image(row, true, second));
    }
    std::set<std::string> done;
    for (const ReceiverFirmwareEntry& row : receiverFirmwareTable()) {
        const std::string hex = file_name(row.hexPath);
        if (hex.empty() || !done.insert(hex).second)
            continue;
        const auto flash = pattern(hex, kReceiverImageSize);
        std::string text;
        for (std::size_t at = 0; at < flash.size(); at += kHexRecordSize)
            text += hex_record(0x00, static_cast<std::uint16_t>(at), flash.data() + at, kHexRecordSize);
        text += hex_record(0x01, 0, nullptr, 0);
        ok = ok && write(folder + hex, text);
        const std::string signature = file_name(row.signaturePath);
        if (!signature.empty()) {
            const quillon::FirmwareSignature s = quillon::firmwareSignature(flash);
            ok = ok && write(folder + signature, std::string(s.begin(), s.end()));
        }
    }
    return ok ? 0 : 1;
}
