// Code page conversions: MultiByteToWideChar and WideCharToMultiByte (UTF-8; the ANSI and OEM code
// pages are UTF-8 here too).
#include "KernelObject.h"

#include <algorithm>
#include <cstring>
#include <string>

namespace platform::detail {

namespace {

bool has_lone_surrogate(const char16_t* text, size_t length) {
    for (size_t i = 0; i < length; ++i) {
        char16_t c = text[i];
        if (c >= 0xD800 && c < 0xDC00) {
            if (i + 1 < length && text[i + 1] >= 0xDC00 && text[i + 1] < 0xE000) {
                ++i;
                continue;
            }
            return true;
        }
        if (c >= 0xDC00 && c < 0xE000) return true;
    }
    return false;
}

bool supported_code_page(UINT codePage) { return codePage == CP_UTF8 || codePage == CP_ACP || codePage == CP_OEMCP; }

}  // namespace

}  // namespace platform::detail

using namespace platform::detail;

int MultiByteToWideChar(UINT codePage, DWORD flags, LPCSTR text, int length, LPWSTR wide, int wideLength) {
    if (!supported_code_page(codePage) || !text || length == 0 || length < -1 || wideLength < 0 ||
        (wideLength > 0 && !wide)) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return 0;
    }
    size_t n = length == -1 ? std::strlen(text) + 1 : static_cast<size_t>(length);
    std::u16string out;
    bool valid = decode_utf8(text, n, out);
    if (!valid && (flags & MB_ERR_INVALID_CHARS)) {
        SetLastError(ERROR_NO_UNICODE_TRANSLATION);
        return 0;
    }
    if (wideLength == 0) return static_cast<int>(out.size());
    if (out.size() > static_cast<size_t>(wideLength)) {
        SetLastError(ERROR_INSUFFICIENT_BUFFER);
        return 0;
    }
    std::copy(out.begin(), out.end(), wide);
    return static_cast<int>(out.size());
}

int WideCharToMultiByte(UINT codePage, DWORD flags, LPCWSTR wide, int wideLength, LPSTR text, int length,
                        LPCSTR defaultChar, LPBOOL usedDefaultChar) {
    if (!supported_code_page(codePage) || !wide || wideLength == 0 || wideLength < -1 || length < 0 ||
        (length > 0 && !text) || (codePage == CP_UTF8 && (defaultChar || usedDefaultChar))) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return 0;
    }
    size_t n = wideLength == -1 ? std::char_traits<char16_t>::length(wide) + 1 : static_cast<size_t>(wideLength);
    if ((flags & WC_ERR_INVALID_CHARS) && has_lone_surrogate(wide, n)) {
        SetLastError(ERROR_NO_UNICODE_TRANSLATION);
        return 0;
    }
    std::string out = utf16_to_utf8(std::u16string(wide, n));
    if (usedDefaultChar) *usedDefaultChar = FALSE;
    if (length == 0) return static_cast<int>(out.size());
    if (out.size() > static_cast<size_t>(length)) {
        SetLastError(ERROR_INSUFFICIENT_BUFFER);
        return 0;
    }
    std::memcpy(text, out.data(), out.size());
    return static_cast<int>(out.size());
}
