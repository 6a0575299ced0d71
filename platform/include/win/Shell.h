// Constants and structures of the shell helpers (declared in shellapi.h, shlobj.h, shlwapi.h).
#pragma once

#include <win/BaseTypes.h>

// The ANSI and wide forms differ only in their character type.
template <class Char>
struct ShellExecuteInfoT {
    DWORD cbSize;
    ULONG fMask;
    HWND hwnd;
    const Char* lpVerb;
    const Char* lpFile;
    const Char* lpParameters;
    const Char* lpDirectory;
    int nShow;
    HINSTANCE hInstApp;
    void* lpIDList;
    const Char* lpClass;
    HKEY hkeyClass;
    DWORD dwHotKey;
    union {
        HANDLE hIcon;
        HANDLE hMonitor;
    };
    HANDLE hProcess;
};
typedef ShellExecuteInfoT<CHAR> SHELLEXECUTEINFOA, *LPSHELLEXECUTEINFOA;
typedef ShellExecuteInfoT<WCHAR> SHELLEXECUTEINFOW, *LPSHELLEXECUTEINFOW;
static_assert(sizeof(SHELLEXECUTEINFOA) == 112 && sizeof(SHELLEXECUTEINFOW) == 112, "SHELLEXECUTEINFO");
static_assert(offsetof(SHELLEXECUTEINFOA, hProcess) == 104, "SHELLEXECUTEINFO.hProcess");

#define SEE_MASK_DEFAULT 0x00000000u
#define SEE_MASK_NOCLOSEPROCESS 0x00000040u
#define SEE_MASK_FLAG_NO_UI 0x00000400u
#define SEE_MASK_NOASYNC 0x00000100u
#define SEE_MASK_FLAG_DDEWAIT 0x00000100u

// Shell folders
#define CSIDL_APPDATA 0x001A
#define CSIDL_LOCAL_APPDATA 0x001C
#define CSIDL_COMMON_APPDATA 0x0023
#define CSIDL_WINDOWS 0x0024
#define CSIDL_SYSTEM 0x0025
#define CSIDL_PROGRAM_FILES 0x0026
#define CSIDL_PROFILE 0x0028
#define CSIDL_PROGRAM_FILESX86 0x002A
#define CSIDL_COMMON_DOCUMENTS 0x002E
#define CSIDL_FLAG_CREATE 0x8000
#define SHGFP_TYPE_CURRENT 0
#define SHGFP_TYPE_DEFAULT 1

// Shell registry helpers
#define SHREGSET_HKCU 0x00000001u
#define SHREGSET_FORCE_HKCU 0x00000002u
#define SHREGSET_HKLM 0x00000004u
#define SHREGSET_FORCE_HKLM 0x00000008u
#define SHREGSET_DEFAULT (SHREGSET_FORCE_HKCU | SHREGSET_HKLM)
