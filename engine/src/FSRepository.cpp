#include "FSRepository.h"

#include "DescriptorCodec.h"
#include "DfuManager.h"

#include <cstdlib>

namespace qv {

namespace {

constexpr std::size_t kMaxCandidates = 3441480;

WString profile(const WString& path, const char* section, const char* key, bool& present)
{
    WCHAR value[256] = {};
    const WString s = widen(section), k = widen(key);
    // A sentinel default tells a missing key from an empty one.
    const WCHAR sentinel[] = {0x1, 0};
    GetPrivateProfileStringW(s.c_str(), k.c_str(), sentinel, value, 256, path.c_str());
    present = !(value[0] == 0x1 && value[1] == 0);
    return present ? WString(value) : WString();
}

bool parse_number(const WString& text, int base, std::uint32_t& out)
{
    if (text.empty() || text.size() > 10)
        return false;
    const std::string narrowText = narrow(text);
    char* end = nullptr;
    const unsigned long v = std::strtoul(narrowText.c_str(), &end, base);
    if (*end != 0)
        return false;
    out = static_cast<std::uint32_t>(v);
    return true;
}

WString temp_descriptor_path()
{
    WCHAR temp[MAX_PATH] = {};
    const DWORD n = GetTempPathW(MAX_PATH, temp);
    WString path(temp, n < MAX_PATH ? n : 0);
    if (!path.empty() && path.back() != '\\')
        path.push_back('\\');
    return path + QV_W("DFUTempFile.ini");
}

bool write_whole_file(const WString& path, const std::vector<std::uint8_t>& bytes)
{
    HANDLE f = CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (f == INVALID_HANDLE_VALUE)
        return false;
    DWORD written = 0;
    const bool ok = bytes.empty() ||
                    (WriteFile(f, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr) && written == bytes.size());
    CloseHandle(f);
    return ok;
}

bool above(const VersionRecord& a, const VersionRecord& b) { return compare_versions(a, b) > 0; }
bool below(const VersionRecord& a, const VersionRecord& b) { return compare_versions(a, b) < 0; }

}  // namespace

bool read_whole_file(const WString& path, std::vector<std::uint8_t>& out)
{
    out.clear();
    HANDLE f = CreateFileW(path.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (f == INVALID_HANDLE_VALUE)
        return false;
    LARGE_INTEGER size{};
    bool ok = GetFileSizeEx(f, &size) && size.QuadPart >= 0 && size.QuadPart < 0x40000000;
    if (ok) {
        out.resize(static_cast<std::size_t>(size.QuadPart));
        DWORD got = 0;
        ok = out.empty() || (ReadFile(f, out.data(), static_cast<DWORD>(out.size()), &got, nullptr) && got == out.size());
    }
    CloseHandle(f);
    if (!ok)
        out.clear();
    return ok;
}

FSRepository::FSRepository(WString folder) : m_folder(std::move(folder)) {}

FSRepository& FSRepository::instance()
{
    static FSRepository* repository = new FSRepository(DfuManager::instance().firmware_folder());
    return *repository;
}

bool FSRepository::read_descriptor(const WString& ini, const VersionRecord& fileVersion, const WString& folder,
                                   FirmwareRecord& out)
{
    FirmwareRecord r;
    bool present = false;
    auto required_hex = [&](const char* key, std::uint32_t& value) {
        const WString text = profile(ini, "FirmwareData", key, present);
        return present && parse_number(text, 16, value);
    };
    std::uint32_t number, release, build, hw;
    if (!required_hex("FWNumber", number) || !required_hex("FWRelease", release) || !required_hex("FWBuild", build) ||
        !required_hex("HWRev", hw))
        return false;
    const WString location = profile(ini, "FirmwareData", "Location", present);
    if (!present || location.empty())
        return false;
    const WString family = profile(ini, "FirmwareData", "DstFamily", present);
    if (!present)
        return false;
    if (number != fileVersion.number || release != fileVersion.release || build != fileVersion.build)
        return false;
    if (family.size() < 3 || family.substr(0, 3) != WString(fileVersion.prefix, 3))
        return false;
    r.version = fileVersion;
    r.version.hardware = static_cast<std::uint16_t>(hw);
    auto optional = [&](const char* section, const char* key, int base, std::uint32_t& value) {
        const WString text = profile(ini, section, key, present);
        std::uint32_t v = 0;
        value = present && parse_number(text, base, v) ? v : 0;
    };
    const char* sw[3] = {"MinSWVersionMajor", "MinSWVersionMinor", "MinSWVersionBuild"};
    const char* fw[3] = {"MinFWVersionNumber", "MinFWVersionRelease", "MinFWVersionBuild"};
    const char* dg[3] = {"DowngradeAllowNumber", "DowngradeAllowRelease", "DowngradeAllowBuild"};
    for (int i = 0; i < 3; ++i) {
        optional("MinimumRequirements", sw[i], 10, r.minSw[i]);
        optional("MinimumRequirements", fw[i], 16, r.minFw[i]);
        optional("MinimumRequirements", dg[i], 16, r.downgrade[i]);
    }
    const char* ov[6] = {"MaxSinglePacketAttempts", "MaxTimeRequiredForCRCInMS", "MaxTimeRequiredForUSBEnumInMS",
                         "PingDelayInMS", "MaxDFUAckTimeInMS", "TotalAcceptableDelayInMS"};
    for (int i = 0; i < 6; ++i)
        optional("FirmwareProtocolOverrides", ov[i], 10, r.overrides[i]);
    r.path = folder + QV_W("\\") + location;
    if (r.path.size() >= MAX_PATH)
        return false;
    out = std::move(r);
    return true;
}

std::vector<FirmwareRecord> FSRepository::candidates(const VersionRecord& d)
{
    std::vector<FirmwareRecord> list;
    if (m_folder.empty())
        return list;
    std::lock_guard<std::mutex> lock(m_mutex);
    const WString pattern = m_folder + QV_W("\\*.ini");
    WIN32_FIND_DATAW found{};
    HANDLE find = FindFirstFileW(pattern.c_str(), &found);
    if (find == INVALID_HANDLE_VALUE)
        return list;
    const WString temp = temp_descriptor_path();
    do {
        const WString name(found.cFileName, wide_length(found.cFileName, MAX_PATH));
        VersionRecord fileVersion;
        if (!split_version_text(name, fileVersion))
            continue;
        if (WString(fileVersion.prefix, 3) != WString(d.prefix, 3) || fileVersion.number != d.number)
            continue;
        std::vector<std::uint8_t> bytes;
        if (!read_whole_file(m_folder + QV_W("\\") + name, bytes))
            continue;
        const auto plain = decode_descriptor(bytes.data(), bytes.size());
        if (!plain || !write_whole_file(temp, *plain)) {
            DeleteFileW(temp.c_str());
            continue;
        }
        FirmwareRecord r;
        const bool valid = read_descriptor(temp, fileVersion, m_folder, r);
        DeleteFileW(temp.c_str());
        if (!valid)
            continue;
        if (d.hardware != 0 && r.version.hardware != 0 && d.hardware != r.version.hardware)
            continue;
        if (r.minSw[0] || r.minSw[1] || r.minSw[2]) {
            const std::uint32_t need[3] = {r.minSw[0], r.minSw[1], r.minSw[2]};
            const std::uint32_t have[3] = {kSwMajor, kSwMinor, kSwBuild};
            if (std::lexicographical_compare(have, have + 3, need, need + 3))
                continue;
        }
        if (r.minFw[0] || r.minFw[1] || r.minFw[2]) {
            VersionRecord minimum;
            minimum.number = static_cast<std::uint8_t>(r.minFw[0]);
            minimum.release = static_cast<std::uint8_t>(r.minFw[1]);
            minimum.build = static_cast<std::uint16_t>(r.minFw[2]);
            if (below(d, minimum))
                continue;
        }
        if (list.size() < kMaxCandidates)
            list.push_back(std::move(r));
    } while (FindNextFileW(find, &found));
    FindClose(find);
    return list;
}

bool FSRepository::pick(const std::vector<FirmwareRecord>& list, const VersionRecord& d, int mode, FirmwareRecord& out)
{
    if (mode == 0)
        mode = 1;
    const FirmwareRecord* choice = nullptr;
    VersionRecord current = d;
    for (const auto& c : list) {
        switch (mode) {
        case 1:
            if (above(c.version, current)) {
                choice = &c;
                current = c.version;
            }
            break;
        case 2:
            if (below(c.version, d) && (!choice || above(c.version, current))) {
                choice = &c;
                current = c.version;
            }
            break;
        case 3:
            if (below(c.version, current) || (!choice && compare_versions(c.version, current) == 0)) {
                choice = &c;
                current = c.version;
            }
            break;
        default:
            return false;
        }
    }
    if (!choice)
        return false;
    out = *choice;
    return true;
}

int FSRepository::FindFirmware(const VersionRecord& device, FirmwareRecord& out, int mode)
{
    return pick(candidates(device), device, mode, out) ? 1 : 0;
}

int FSRepository::LoadImage(FirmwareRecord* record)
{
    if (!record)
        return QV_RESOURCE_ERROR;
    // An empty image is as unusable as a missing one.
    if (!read_whole_file(record->path, record->image) || record->image.empty()) {
        record->image.clear();
        return QV_RESOURCE_ERROR;
    }
    return QV_SUCCESS;
}

}  // namespace qv
