#include "cQVDevice.h"

#include "HexDigit.h"

#include <quillon/WideText.h>
#include <windows.h>

#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

namespace {

constexpr std::size_t kMaxPieces = 4;

// Base 16 without exceptions; a piece that is not 1 to 8 digits reads 0.
std::uint32_t read_hex(const std::string& piece)
{
    std::uint32_t value = 0;
    return quillon::read_hex_digits(piece, 8, &value) ? value : 0;
}

} // namespace

cQVDevice::cQVDevice(std::int64_t engineHandle, std::shared_ptr<IQVEngine> engine)
    : m_handle(engineHandle), m_engine(std::move(engine))
{
    QV_DEVICE_INFO record{};
    if (!m_engine || m_engine->getDeviceInfo(m_handle, &record) != 0)
        return;
    m_info.connectionKind = DFU_CONNECTION_USB;
    m_info.productId = record.ModelID & 0xFFFF;
    m_info.entityCount = 2;
    m_info.online = 1;
    m_info.inDfu = record.DevType == QV_DEVTYPE_BOOTLOADER ? 1 : 0;
    DFU_DEVICE_ENTRY firmware{};
    // A text the adapter cannot read leaves the version empty rather than made up.
    if (parseVersionText(record.FW, &firmware))
        std::snprintf(m_info.version, sizeof m_info.version, "%x.%x.%x", firmware.version >> 8,
                      firmware.version & 0xFF, firmware.build);
}

int cQVDevice::getInfo(DFU_DEVICE_INFO* out)
{
    if (out)
        *out = m_info;
    return DFU_OK;
}

int cQVDevice::getEntry(int index, DFU_DEVICE_ENTRY* out)
{
    QV_DEVICE_INFO record{};
    if (!m_engine || m_engine->getDeviceInfo(m_handle, &record) != 0)
        return DFU_ERR_NO_ENTRY;
    const WCHAR* text;
    if (index == 0)
        text = record.FW;
    else if (index == 1)
        text = record.BL;
    else
        return DFU_ERR_INVALID_PARAM;
    if (!out)
        return DFU_ERR_INVALID_PARAM;
    return parseVersionText(text, out) ? DFU_OK : DFU_ERR_NO_ENTRY;
}

bool cQVDevice::parseVersionText(const WCHAR* text, DFU_DEVICE_ENTRY* out)
{
    if (!text || !out)
        return false;
    std::vector<std::string> pieces(1);
    // The engine's texts live in 80-character fields; never read past one.
    for (std::size_t i = 0; i < 80 && text[i] != 0; ++i) {
        const char c = static_cast<char>(static_cast<std::uint16_t>(text[i]) & 0xFF);
        if (c == '_') {
            if (pieces.size() > kMaxPieces)
                return false;
            pieces.emplace_back();
        } else {
            pieces.back() += c;
        }
    }
    // A final underscore gives no piece.
    if (pieces.size() > 1 && pieces.back().empty())
        pieces.pop_back();
    if (pieces.size() < 3 || pieces.size() > kMaxPieces)
        return false;
    std::memset(out->prefix, 0, sizeof out->prefix);
    std::strncpy(out->prefix, pieces[0].c_str(), sizeof out->prefix - 1);
    if (pieces.size() == 3) {
        out->version = static_cast<std::uint16_t>(read_hex(pieces[1]));
        out->build = static_cast<std::uint16_t>(read_hex(pieces[2]));
    } else {
        out->version = static_cast<std::uint16_t>((read_hex(pieces[1]) << 8) | read_hex(pieces[2]));
        out->build = static_cast<std::uint16_t>(read_hex(pieces[3]));
    }
    return true;
}

bool cQVDevice::writeTempFile(const char* buffer, int length, WCHAR* path)
{
    if (!buffer || length < 1 || !path)
        return false;
    WCHAR folder[MAX_PATH];
    const DWORD folderLength = GetTempPathW(MAX_PATH, folder);
    if (folderLength == 0 || folderLength >= MAX_PATH)
        return false;
    if (GetTempFileNameW(folder, QUILLON_W(""), 0, path) == 0)
        return false;
    HANDLE file = CreateFileW(path, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        return false;
    DWORD written = 0;
    const BOOL ok = WriteFile(file, buffer, static_cast<DWORD>(length), &written, nullptr);
    CloseHandle(file);
    return ok && written == static_cast<DWORD>(length);
}

int cQVDevice::startReceiverUpdate(const char* image, int length, const char* signature, int signatureLength)
{
    if (!image || length < 1)
        return DFU_ERR_INVALID_PARAM;
    WCHAR imagePath[MAX_PATH] = {};
    if (!writeTempFile(image, length, imagePath))
        return DFU_ERR_FAILED;
    WCHAR signaturePath[MAX_PATH] = {};
    const bool signed_ = signature && signatureLength >= 1;
    if (signed_ && !writeTempFile(signature, signatureLength, signaturePath))
        return DFU_ERR_FAILED;
    if (!m_engine)
        return DFU_ERR_FAILED;
    // Set first: the engine's first status may reach the provider before startDFU returns.
    m_updateRunning.store(true);
    const int result = m_engine->startDFU(m_handle, 1, 0, imagePath, 0, signed_ ? signaturePath : nullptr);
    if (result != 0) {
        m_updateRunning.store(false);
        return DFU_ERR_FAILED;
    }
    return DFU_OK;
}
