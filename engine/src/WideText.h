// Wide (UTF-16) text helpers of the engine: literals, bounded copies and printf-style formatting.
#pragma once

#include <windows.h>

#include <cstddef>
#include <string>

#ifdef _WIN32
#define QV_W(s) L##s
#else
#define QV_W(s) u##s
#endif

namespace qv {

using WString = std::basic_string<WCHAR>;

// Copies at most cap - 1 characters and terminates; returns false when the text was cut.
bool copy_bounded(WCHAR* out, std::size_t cap, const WCHAR* text);
bool copy_bounded(WCHAR* out, std::size_t cap, const WString& text);
std::size_t wide_length(const WCHAR* text, std::size_t cap);
// Narrow printf into a wide text (the engine's formats are ASCII; %s takes narrow text).
WString wformat(const char* format, ...) __attribute__((format(printf, 1, 2)));
WString widen(const std::string& ascii);
std::string narrow(const WCHAR* text);
std::string narrow(const WString& text);

}  // namespace qv
