// Shell registry helpers (stand-in).
#pragma once
#include <windows.h>

LSTATUS SHRegGetUSValueA(LPCSTR subKey, LPCSTR value, DWORD* type, void* data, DWORD* size, BOOL ignoreHKCU,
                         void* defaultData, DWORD defaultSize);
LSTATUS SHRegSetUSValueA(LPCSTR subKey, LPCSTR value, DWORD type, const void* data, DWORD size, DWORD flags);
LSTATUS SHDeleteKeyA(HKEY key, LPCSTR subKey);
LSTATUS SHDeleteKeyW(HKEY key, LPCWSTR subKey);
