// Profile (INI) files of the simulated machine: GetPrivateProfileStringW and GetPrivateProfileIntW.
#include "KernelObject.h"
#include "Machine.h"

#include <sim/Kernel.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

namespace platform::detail {
namespace {

// --- profile (INI) files ---
std::u16string trim(const std::u16string& s) {
    size_t b = 0, e = s.size();
    while (b < e && (s[b] == u' ' || s[b] == u'\t' || s[b] == u'\r' || s[b] == u'\n')) ++b;
    while (e > b && (s[e - 1] == u' ' || s[e - 1] == u'\t' || s[e - 1] == u'\r' || s[e - 1] == u'\n')) --e;
    return s.substr(b, e - b);
}

bool read_text_file(const std::string& path, std::u16string& text) {
    std::ifstream in(path, std::ios::binary);
    if (!in) return false;
    std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    if (bytes.size() >= 2 && static_cast<unsigned char>(bytes[0]) == 0xFF && static_cast<unsigned char>(bytes[1]) == 0xFE) {
        text.assign((bytes.size() - 2) / 2, u'\0');
        std::memcpy(&text[0], bytes.data() + 2, text.size() * 2);
        return true;
    }
    size_t skip = bytes.size() >= 3 && bytes.compare(0, 3, "\xEF\xBB\xBF") == 0 ? 3 : 0;
    text.clear();
    decode_utf8(bytes.data() + skip, bytes.size() - skip, text);
    return true;
}

struct ProfileSection {
    std::u16string name;
    std::vector<std::pair<std::u16string, std::u16string>> entries;
};

std::vector<ProfileSection> parse_profile(const std::u16string& text) {
    std::vector<ProfileSection> sections;
    size_t start = 0;
    while (start < text.size()) {
        size_t end = text.find(u'\n', start);
        if (end == std::u16string::npos) end = text.size();
        std::u16string line = trim(text.substr(start, end - start));
        start = end + 1;
        if (line.empty() || line[0] == u';') continue;
        if (line[0] == u'[') {
            size_t close = line.find(u']');
            sections.push_back(ProfileSection{trim(line.substr(1, close == std::u16string::npos ? std::u16string::npos
                                                                                               : close - 1)),
                                              {}});
            continue;
        }
        if (sections.empty()) continue;
        size_t eq = line.find(u'=');
        std::u16string key = trim(line.substr(0, eq));
        std::u16string value = eq == std::u16string::npos ? std::u16string() : trim(line.substr(eq + 1));
        if (value.size() >= 2 && (value.front() == u'"' || value.front() == u'\'') && value.back() == value.front())
            value = value.substr(1, value.size() - 2);
        sections.back().entries.emplace_back(key, value);
    }
    return sections;
}

std::u16string profile_path(LPCWSTR fileName) {
    std::u16string name = wide_string(fileName);
    if (name.find(u'\\') == std::u16string::npos && name.find(u'/') == std::u16string::npos)
        return u"C:\\Windows\\" + name;
    return name;
}

// Copies a NUL-separated list ending in a double NUL; returns the count without the last NUL.
DWORD copy_list(const std::vector<std::u16string>& items, LPWSTR out, DWORD size) {
    if (size < 2) {
        if (size == 1) out[0] = 0;
        return 0;
    }
    DWORD pos = 0;
    for (const auto& item : items) {
        for (char16_t c : item) {
            if (pos + 2 >= size) {
                out[pos] = 0;
                out[pos + 1] = 0;
                return size - 2;
            }
            out[pos++] = c;
        }
        if (pos + 2 >= size) {
            out[pos] = 0;
            out[pos + 1] = 0;
            return size - 2;
        }
        out[pos++] = 0;
    }
    out[pos] = 0;
    return pos;
}

DWORD copy_value(const std::u16string& value, LPWSTR out, DWORD size) {
    if (size == 0) return 0;
    DWORD n = static_cast<DWORD>(std::min<size_t>(value.size(), size - 1));
    std::copy(value.begin(), value.begin() + n, out);
    out[n] = 0;
    return n;
}

}  // namespace
}  // namespace platform::detail

using namespace platform::detail;

DWORD GetPrivateProfileStringW(LPCWSTR section, LPCWSTR key, LPCWSTR defaultValue, LPWSTR returned, DWORD size,
                               LPCWSTR fileName) {
    if (!returned || size == 0) return 0;
    std::u16string text;
    bool found = fileName && read_text_file(host_path(profile_path(fileName)), text);
    std::vector<ProfileSection> sections = found ? parse_profile(text) : std::vector<ProfileSection>();
    if (!section) {
        std::vector<std::u16string> names;
        for (const auto& s : sections) names.push_back(s.name);
        return copy_list(names, returned, size);
    }
    std::u16string wantedSection = lower(trim(section));
    const ProfileSection* match = nullptr;
    for (const auto& s : sections)
        if (lower(s.name) == wantedSection) {
            match = &s;
            break;
        }
    if (!key) {
        std::vector<std::u16string> keys;
        if (match)
            for (const auto& e : match->entries) keys.push_back(e.first);
        return copy_list(keys, returned, size);
    }
    if (match) {
        std::u16string wantedKey = lower(trim(key));
        for (const auto& e : match->entries)
            if (lower(e.first) == wantedKey) return copy_value(e.second, returned, size);
    }
    SetLastError(ERROR_FILE_NOT_FOUND);
    std::u16string fallback = wide_string(defaultValue);
    while (!fallback.empty() && fallback.back() == u' ') fallback.pop_back();
    return copy_value(fallback, returned, size);
}

UINT GetPrivateProfileIntW(LPCWSTR section, LPCWSTR key, INT defaultValue, LPCWSTR fileName) {
    WCHAR buffer[64];
    if (GetPrivateProfileStringW(section, key, u"", buffer, 64, fileName) == 0) return static_cast<UINT>(defaultValue);
    std::string narrow = utf16_to_utf8(buffer);
    return static_cast<UINT>(std::strtol(narrow.c_str(), nullptr, 10));
}

