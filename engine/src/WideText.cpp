#include "WideText.h"

#include <cstdarg>
#include <cstdio>
#include <vector>

namespace qv {

std::size_t wide_length(const WCHAR* text, std::size_t cap)
{
    std::size_t n = 0;
    while (text && n < cap && text[n] != 0)
        ++n;
    return n;
}

bool copy_bounded(WCHAR* out, std::size_t cap, const WCHAR* text)
{
    if (cap == 0)
        return false;
    std::size_t n = 0;
    for (; text && text[n] != 0 && n + 1 < cap; ++n)
        out[n] = text[n];
    out[n] = 0;
    return !text || text[n] == 0;
}

bool copy_bounded(WCHAR* out, std::size_t cap, const WString& text)
{
    return copy_bounded(out, cap, text.c_str());
}

WString wformat(const char* format, ...)
{
    char small[512];
    va_list args;
    va_start(args, format);
    va_list again;
    va_copy(again, args);
    const int n = std::vsnprintf(small, sizeof small, format, args);
    va_end(args);
    std::string text;
    if (n < 0) {
        va_end(again);
        return {};
    }
    if (static_cast<std::size_t>(n) < sizeof small) {
        text.assign(small, static_cast<std::size_t>(n));
    } else {
        std::vector<char> big(static_cast<std::size_t>(n) + 1);
        std::vsnprintf(big.data(), big.size(), format, again);
        text.assign(big.data(), static_cast<std::size_t>(n));
    }
    va_end(again);
    return widen(text);
}

WString widen(const std::string& ascii)
{
    WString out;
    out.reserve(ascii.size());
    for (unsigned char c : ascii)
        out.push_back(static_cast<WCHAR>(c));
    return out;
}

std::string narrow(const WCHAR* text)
{
    std::string out;
    for (std::size_t i = 0; text && text[i]; ++i)
        out.push_back(text[i] < 0x80 ? static_cast<char>(text[i]) : '?');
    return out;
}

std::string narrow(const WString& text)
{
    return narrow(text.c_str());
}

}  // namespace qv
