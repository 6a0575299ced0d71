// Wide (UTF-16) text helpers of the engine: literals, bounded copies and printf-style formatting.
#pragma once

#include <quillon/WideText.h>

#include <cstddef>
#include <string>

#define QV_W(s) QUILLON_W(s)

namespace qv {

using WString = quillon::WString;

// Copies at most cap - 1 characters and terminates; returns false when the text was cut.
bool copy_bounded(WCHAR* out, std::size_t cap, const WCHAR* text);
bool copy_bounded(WCHAR* out, std::size_t cap, const WString& text);
std::size_t wide_length(const WCHAR* text, std::size_t cap);
// Narrow printf into a wide text (the engine's formats are ASCII; %s takes narrow text).
WString wformat(const char* format, ...) QUILLON_PRINTF(1, 2);
WString widen(const std::string& ascii);
std::string narrow(const WCHAR* text);
std::string narrow(const WString& text);

}  // namespace qv
