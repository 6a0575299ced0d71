// Readers of receiver images: Intel HEX text, binary signature blocks, bootloader version texts.
#include "DFUPureHid.h"
#include "EngineTypes.h"

namespace qv {

namespace {

// Two hex digits at text[at]; -1 when missing or not hexadecimal.
int hex_byte(const std::uint8_t* text, std::size_t size, std::size_t at)
{
    if (at + 2 > size)
        return -1;
    const int hi = hex_digit(text[at]), lo = hex_digit(text[at + 1]);
    return hi < 0 || lo < 0 ? -1 : hi * 16 + lo;
}

}  // namespace

int CDFUPureHid::ParseHex(const std::uint8_t* text, std::size_t size, std::uint32_t start, std::uint32_t end,
                          std::vector<ImageRecord>& out)
{
    out.clear();
    // A typical record line (":10" + 16 bytes) is 44 characters.
    out.reserve(size / 44 + 1);
    std::uint32_t upper = 0;  // from extended address records: data above 64 KiB is not ours
    std::uint8_t data[255];
    std::size_t i = 0;
    while (i < size) {
        if (text[i] != ':') {
            ++i;
            continue;
        }
        const int length = hex_byte(text, size, i + 1);
        const int addrHi = hex_byte(text, size, i + 3);
        const int addrLo = hex_byte(text, size, i + 5);
        const int type = hex_byte(text, size, i + 7);
        if (length < 0 || addrHi < 0 || addrLo < 0 || type < 0) {
            out.clear();
            return QV_RESOURCE_ERROR;
        }
        unsigned sum = static_cast<unsigned>(length + addrHi + addrLo + type);
        for (int k = 0; k < length; ++k) {
            const int b = hex_byte(text, size, i + 9 + 2 * static_cast<std::size_t>(k));
            if (b < 0) {
                out.clear();
                return QV_RESOURCE_ERROR;
            }
            data[static_cast<std::size_t>(k)] = static_cast<std::uint8_t>(b);
            sum += static_cast<unsigned>(b);
        }
        const int checksum = hex_byte(text, size, i + 9 + 2 * static_cast<std::size_t>(length));
        if (checksum < 0 || ((sum + static_cast<unsigned>(checksum)) & 0xFF) != 0) {
            out.clear();
            return QV_RESOURCE_ERROR;
        }
        i += 11 + 2 * static_cast<std::size_t>(length);
        if (type == 0x01)
            break;
        if (type == 0x02 || type == 0x04) {
            const std::uint32_t value = length == 2 ? (std::uint32_t{data[0]} << 8 | data[1]) : 0;
            upper = type == 0x04 ? value << 16 : value << 4;
            continue;
        }
        if (type == 0x03 || type == 0x05)
            continue;
        if (type != 0x00) {
            out.clear();
            return QV_RESOURCE_ERROR;
        }
        if (upper != 0)
            continue;
        const std::uint32_t address = static_cast<std::uint32_t>(addrHi << 8 | addrLo);
        // Longer records go out as 16-byte blocks.
        const std::size_t count = static_cast<std::size_t>(length);
        for (std::size_t off = 0; off < count; off += 16) {
            const std::size_t n = std::min<std::size_t>(16, count - off);
            const std::uint32_t at = address + static_cast<std::uint32_t>(off);
            if (at < start || at + n - 1 > end || at + n - 1 > 0xFFFF)
                continue;
            ImageRecord r;
            r.length = static_cast<std::uint8_t>(n);
            r.address = static_cast<std::uint16_t>(at);
            std::copy(data + off, data + off + n, r.data);
            out.push_back(r);
        }
    }
    return out.empty() ? QV_RESOURCE_ERROR : QV_SUCCESS;
}

int CDFUPureHid::ParseBin(const std::uint8_t* bytes, std::size_t size, std::vector<ImageRecord>& out)
{
    out.clear();
    if (size < 16)
        return QV_RESOURCE_ERROR;
    for (std::size_t at = 0; at + 16 <= size && at <= 0x100; at += 16) {
        ImageRecord r;
        r.length = 16;
        r.address = static_cast<std::uint16_t>(at);
        std::copy(bytes + at, bytes + at + 16, r.data);
        out.push_back(r);
    }
    return QV_SUCCESS;
}

bool CDFUPureHid::ParseVersion(const std::string& text, VersionRecord& out)
{
    if (text.size() < 14)
        return false;
    auto hex = [&](std::size_t at, std::size_t n, unsigned& value) {
        value = 0;
        for (std::size_t k = 0; k < n; ++k) {
            const int d = hex_digit(static_cast<std::uint8_t>(text[at + k]));
            if (d < 0)
                return false;
            value = value * 16 + static_cast<unsigned>(d);
        }
        return true;
    };
    unsigned number, release, build;
    if (!hex(3, 2, number) || !hex(6, 2, release) || !hex(10, 4, build))
        return false;
    VersionRecord v;
    const char prefix[4] = {text[0], text[1], text[2], 0};
    set_prefix(v, prefix);
    v.number = static_cast<std::uint8_t>(number);
    v.release = static_cast<std::uint8_t>(release);
    v.build = static_cast<std::uint16_t>(build & 0xFF);
    v.hardware = 0;
    out = v;
    return v.present();
}

}  // namespace qv
