// Records shared across the engine: versions, firmware images and their 16-byte image records.
#pragma once

#include "QVApi.h"
#include "WideText.h"

#include <cstdint>
#include <vector>

namespace qv {

// Raw codes of the register transport (positive values are the receiver's own error codes).
enum RawCode : int {
    kRawOk = 0,
    kRawSystem = -1,
    kRawTimeout = -2,
    kRawErrorReply = -3,
    kRawWriteFailed = -4,
    kRawBusy = -5,
    kRawNoMemory = -6,
    kRawNoCollection = -7,
    kRawClosing = -8,
    kRawLinkLost = -9,
};

// Raw transport code to a result code of the C interface.
inline int map_raw(int raw)
{
    switch (raw) {
    case kRawLinkLost: return QV_LINK_LOSS;
    case kRawErrorReply: return QV_DEVICE_ERROR;
    case kRawOk: return QV_SUCCESS;
    case 5: return QV_TOO_MANY_DEVICES;
    default: return QV_DEVICE_ERROR;
    }
}

// Value of one hexadecimal digit (a character or a UTF-16 unit), either case; -1 for anything else.
inline int hex_digit(std::uint32_t c)
{
    if (c >= '0' && c <= '9')
        return static_cast<int>(c - '0');
    if (c >= 'a' && c <= 'f')
        return static_cast<int>(c - 'a' + 10);
    if (c >= 'A' && c <= 'F')
        return static_cast<int>(c - 'A' + 10);
    return -1;
}

enum Family : std::uint32_t { kFamilyOther = 0, kFamilyReceiver = 0x10000, kFamilyMouse = 0x20000, kFamilyKeyboard = 0x30000 };

struct VersionRecord {
    WCHAR prefix[4] = {0, 0, 0, 0};
    std::uint8_t number = 0;
    std::uint8_t release = 0;
    std::uint16_t build = 0;
    std::uint16_t hardware = 0;
    std::uint16_t blMajor = 0;
    std::uint16_t blMinor = 0;
    std::uint32_t family = 0;

    bool present() const { return number != 0; }
};

// Versions compare as (number, release, build), each unsigned.
int compare_versions(const VersionRecord& a, const VersionRecord& b);
std::uint32_t family_of_prefix(const WCHAR* prefix);
void set_prefix(VersionRecord& v, const char* prefix);
WString version_text(const VersionRecord& v);        // "%s_%03x_%03x_%05x"
WString bootloader_text(const VersionRecord& v);     // "BL_%03x_%03x"
// Splits "RQR_012_005_00010[_x_y]" (or a file name of that form) at "_"; false when the number,
// release or build token is missing or not hexadecimal.
bool split_version_text(const WString& text, VersionRecord& out);

// The image to install and the limits its descriptor sets.
struct FirmwareRecord {
    VersionRecord version;
    std::vector<std::uint8_t> image;
    WString path;
    std::uint32_t minSw[3] = {0, 0, 0};
    std::uint32_t minFw[3] = {0, 0, 0};
    std::uint32_t downgrade[3] = {0, 0, 0};
    // MaxSinglePacketAttempts, MaxTimeRequiredForCRCInMS, MaxTimeRequiredForUSBEnumInMS,
    // PingDelayInMS, MaxDFUAckTimeInMS, TotalAcceptableDelayInMS; 0 keeps the default.
    std::uint32_t overrides[6] = {0, 0, 0, 0, 0, 0};
    std::uint32_t restartLimit = 0;
};

enum Override { kMaxAttempts = 0, kCrcWait, kUsbEnumWait, kPingDelay, kAckWait, kLinkRecoveryWait };

// One block of an image as the bootloader takes it.
struct ImageRecord {
    std::uint8_t length = 0;
    std::uint16_t address = 0;
    std::uint8_t data[16] = {};
};

}  // namespace qv
