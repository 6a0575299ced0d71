// Version checks over VerifyVersionInfoW (stand-in).
#pragma once
#include <windows.h>

inline bool IsWindowsVersionOrGreater(WORD major, WORD minor, WORD servicePackMajor) {
    OSVERSIONINFOEXW info = {};
    info.dwOSVersionInfoSize = sizeof(info);
    info.dwMajorVersion = major;
    info.dwMinorVersion = minor;
    info.wServicePackMajor = servicePackMajor;
    DWORDLONG mask = VerSetConditionMask(
        VerSetConditionMask(VerSetConditionMask(0, VER_MAJORVERSION, VER_GREATER_EQUAL), VER_MINORVERSION,
                            VER_GREATER_EQUAL),
        VER_SERVICEPACKMAJOR, VER_GREATER_EQUAL);
    return VerifyVersionInfoW(&info, VER_MAJORVERSION | VER_MINORVERSION | VER_SERVICEPACKMAJOR, mask) != FALSE;
}
inline bool IsWindows7OrGreater() { return IsWindowsVersionOrGreater(6, 1, 0); }
inline bool IsWindows8OrGreater() { return IsWindowsVersionOrGreater(6, 2, 0); }
inline bool IsWindows8Point1OrGreater() { return IsWindowsVersionOrGreater(6, 3, 0); }
inline bool IsWindows10OrGreater() { return IsWindowsVersionOrGreater(10, 0, 0); }
