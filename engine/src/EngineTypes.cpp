#include "EngineTypes.h"

#include <cstdlib>

namespace qv {

int compare_versions(const VersionRecord& a, const VersionRecord& b)
{
    if (a.number != b.number)
        return a.number < b.number ? -1 : 1;
    if (a.release != b.release)
        return a.release < b.release ? -1 : 1;
    if (a.build != b.build)
        return a.build < b.build ? -1 : 1;
    return 0;
}

std::uint32_t family_of_prefix(const WCHAR* p)
{
    auto is = [&](const char* s) { return p[0] == s[0] && p[1] == s[1] && p[2] == s[2]; };
    if (is("RQR"))
        return kFamilyReceiver;
    if (is("RQM"))
        return kFamilyMouse;
    if (is("RQK"))
        return kFamilyKeyboard;
    return kFamilyOther;
}

void set_prefix(VersionRecord& v, const char* prefix)
{
    std::size_t i = 0;
    for (; i < 3 && prefix[i]; ++i)
        v.prefix[i] = static_cast<WCHAR>(static_cast<unsigned char>(prefix[i]));
    for (; i < 4; ++i)
        v.prefix[i] = 0;
    v.family = family_of_prefix(v.prefix);
}

WString version_text(const VersionRecord& v)
{
    return wformat("%s_%03x_%03x_%05x", narrow(v.prefix).c_str(), v.number, v.release, v.build);
}

WString bootloader_text(const VersionRecord& v)
{
    return wformat("BL_%03x_%03x", v.blMajor, v.blMinor);
}

namespace {

bool parse_hex_token(const WString& token, unsigned long& out)
{
    if (token.empty() || token.size() > 8)
        return false;
    unsigned long value = 0;
    for (WCHAR c : token) {
        const int digit = hex_digit(c);
        if (digit < 0)
            return false;
        value = value * 16 + static_cast<unsigned long>(digit);
    }
    out = value;
    return true;
}

}  // namespace

bool split_version_text(const WString& text, VersionRecord& out)
{
    std::vector<WString> tokens;
    WString current;
    for (WCHAR c : text) {
        if (c == '_') {
            tokens.push_back(current);
            current.clear();
        } else {
            current.push_back(c);
        }
    }
    tokens.push_back(current);
    if (tokens.size() < 4 || tokens[0].size() < 3)
        return false;
    // A file name's last token carries its extension.
    for (auto& t : tokens) {
        const auto dot = t.find('.');
        if (dot != WString::npos)
            t.resize(dot);
    }
    unsigned long number, release, build;
    if (!parse_hex_token(tokens[1], number) || !parse_hex_token(tokens[2], release) ||
        !parse_hex_token(tokens[3], build))
        return false;
    VersionRecord v;
    for (int i = 0; i < 3; ++i)
        v.prefix[i] = tokens[0][static_cast<std::size_t>(i)];
    v.family = family_of_prefix(v.prefix);
    v.number = static_cast<std::uint8_t>(number);
    v.release = static_cast<std::uint8_t>(release);
    v.build = static_cast<std::uint16_t>(build);
    unsigned long extra;
    if (tokens.size() > 4 && parse_hex_token(tokens[4], extra))
        v.hardware = static_cast<std::uint16_t>(extra);
    if (tokens.size() > 5 && parse_hex_token(tokens[5], extra))
        v.blMajor = static_cast<std::uint16_t>(extra);
    out = v;
    return true;
}

}  // namespace qv
