// Wide text shared by every layer that talks to Windows: WCHAR is a 16-bit wchar_t there and
// char16_t on the stand-in, so literals and strings go through these two names only.
#pragma once

#include <windows.h>

#include <string>

#ifdef _WIN32
#define QUILLON_W(s) L##s
#else
#define QUILLON_W(s) u##s
#endif

// printf-style format checking. MinGW's "printf" archetype checks Microsoft's rules (no %zu), so
// the GNU archetype is named there.
#if defined(__MINGW32__)
#define QUILLON_PRINTF(fmt, args) __attribute__((format(gnu_printf, fmt, args)))
#elif defined(__GNUC__)
#define QUILLON_PRINTF(fmt, args) __attribute__((format(printf, fmt, args)))
#else
#define QUILLON_PRINTF(fmt, args)
#endif

namespace quillon {

using WString = std::basic_string<WCHAR>;

}  // namespace quillon
