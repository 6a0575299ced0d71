#include "devices/SimReceiverFirmware.h"

#include "quillon/ProductIds.h"

#include <cstdlib>
#include <vector>

namespace platform::sim {

namespace ids = quillon::ids;

namespace {

// Firmware numbers in the order of the receiver/bootloader pairs of each family.
constexpr std::uint8_t kPureNumbers[] = {0x12, 0x21};
constexpr std::uint8_t kWrenNumbers[] = {0x13, 0x24, 0x41};
constexpr std::uint8_t kFenNumbers[] = {0x39, 0x40, 0x42, 0x43, 0x44, 0x45};

template <std::size_t N>
bool contains(const std::uint16_t (&list)[N], std::uint16_t id)
{
    for (auto v : list)
        if (v == id)
            return true;
    return false;
}

std::uint8_t number_for(SimBootloaderFamily family, int ordinal)
{
    switch (family) {
    case SimBootloaderFamily::PureHid:
        return kPureNumbers[ordinal % 2];
    case SimBootloaderFamily::WrenHid:
        return kWrenNumbers[ordinal % 3];
    case SimBootloaderFamily::FenMarl:
        return kFenNumbers[ordinal % 6];
    default:
        return 0x12;
    }
}

}  // namespace

SimBootloaderFamily bootloader_family_of(std::uint16_t id)
{
    if (contains(ids::kBootloaderPureHid, id))
        return SimBootloaderFamily::PureHid;
    if (contains(ids::kBootloaderWrenHid, id))
        return SimBootloaderFamily::WrenHid;
    if (contains(ids::kBootloaderFenMarl, id))
        return SimBootloaderFamily::FenMarl;
    return SimBootloaderFamily::None;
}

std::uint16_t first_bootloader_of(SimBootloaderFamily family)
{
    switch (family) {
    case SimBootloaderFamily::PureHid:
        return ids::kBootloaderPureHid[0];
    case SimBootloaderFamily::WrenHid:
        return ids::kBootloaderWrenHid[0];
    case SimBootloaderFamily::FenMarl:
        return ids::kBootloaderFenMarl[0];
    default:
        return 0;
    }
}

SimReceiverFirmware default_receiver_firmware(std::uint16_t productId)
{
    SimReceiverFirmware f;
    // The catalogue's pairs first; other receivers restart into the first bootloader of the family
    // of their product line.
    f.bootloaderProductId = 0;
    for (const auto& pair : ids::kCatalogueReceivers)
        if (pair.receiverProductId == productId)
            f.bootloaderProductId = pair.bootloaderProductId;
    if (f.bootloaderProductId == 0) {
        const unsigned line = productId & 0xFFF0;
        f.bootloaderProductId = line == 0xC520 ? ids::kBootloaderWrenHid[0]
                              : line == 0xC530 || line == 0xC540 ? ids::kBootloaderFenMarl[0]
                                                                 : ids::kBootloaderPureHid[0];
    }
    f.family = bootloader_family_of(f.bootloaderProductId);
    // The n-th bootloader of a family goes with the family's n-th firmware number.
    int ordinal = 0;
    auto ordinal_in = [&](const auto& list) {
        for (std::size_t i = 0; i < sizeof(list) / sizeof(list[0]); ++i)
            if (list[i] == f.bootloaderProductId)
                ordinal = static_cast<int>(i);
    };
    ordinal_in(ids::kBootloaderPureHid);
    ordinal_in(ids::kBootloaderWrenHid);
    ordinal_in(ids::kBootloaderFenMarl);
    f.version.number = number_for(f.family, ordinal);
    f.updated = f.version;
    f.updated.release = static_cast<std::uint8_t>(f.version.release + 1);
    f.updated.build = static_cast<std::uint16_t>(f.version.build + 1);
    return f;
}

const char* family_name(SimBootloaderFamily family)
{
    switch (family) {
    case SimBootloaderFamily::PureHid:
        return "pure-hid";
    case SimBootloaderFamily::WrenHid:
        return "wren-hid";
    case SimBootloaderFamily::FenMarl:
        return "fen-marl";
    default:
        return "none";
    }
}

bool parse_family(const std::string& text, SimBootloaderFamily& out)
{
    for (auto f : {SimBootloaderFamily::None, SimBootloaderFamily::PureHid, SimBootloaderFamily::WrenHid,
                   SimBootloaderFamily::FenMarl})
        if (text == family_name(f)) {
            out = f;
            return true;
        }
    return false;
}

bool parse_receiver_version(const std::string& text, SimReceiverVersion& out)
{
    std::vector<unsigned long> parts;
    std::size_t start = 0;
    for (;;) {
        const std::size_t dot = text.find('.', start);
        const std::string piece = text.substr(start, dot == std::string::npos ? std::string::npos : dot - start);
        if (piece.empty() || piece.size() > 4 || piece.find_first_not_of("0123456789abcdefABCDEF") != std::string::npos)
            return false;
        parts.push_back(std::strtoul(piece.c_str(), nullptr, 16));
        if (dot == std::string::npos)
            break;
        start = dot + 1;
    }
    if (parts.size() != 3 && parts.size() != 5)
        return false;
    if (parts[0] > 0xFF || parts[1] > 0xFF || (parts.size() == 5 && (parts[3] > 0xFF || parts[4] > 0xFF)))
        return false;
    SimReceiverVersion v = out;
    v.number = static_cast<std::uint8_t>(parts[0]);
    v.release = static_cast<std::uint8_t>(parts[1]);
    v.build = static_cast<std::uint16_t>(parts[2]);
    if (parts.size() == 5) {
        v.bootloaderMajor = static_cast<std::uint8_t>(parts[3]);
        v.bootloaderMinor = static_cast<std::uint8_t>(parts[4]);
    }
    out = v;
    return true;
}

}  // namespace platform::sim
