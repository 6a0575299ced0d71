// Classic Bluetooth records and functions of "bthprops.cpl" (reached through LoadLibraryW/
// GetProcAddress only). The GATT ones are in bthledef.h and bluetoothleapis.h, as in the SDK.
#pragma once

#include <windows.h>

#include <cstddef>
#include <cstdint>

#define BLUETOOTH_MAX_NAME_SIZE 248

typedef struct _BLUETOOTH_ADDRESS {
    union {
        ULONGLONG ullLong;
        BYTE rgBytes[6];
    };
} BLUETOOTH_ADDRESS;

typedef struct _SYSTEMTIME_BT {
    WORD wYear, wMonth, wDayOfWeek, wDay, wHour, wMinute, wSecond, wMilliseconds;
} BLUETOOTH_SYSTEMTIME;

typedef struct _BLUETOOTH_DEVICE_INFO {
    DWORD dwSize;
    BLUETOOTH_ADDRESS Address;
    ULONG ulClassofDevice;
    BOOL fConnected;
    BOOL fRemembered;
    BOOL fAuthenticated;
    BLUETOOTH_SYSTEMTIME stLastSeen;
    BLUETOOTH_SYSTEMTIME stLastUsed;
    WCHAR szName[BLUETOOTH_MAX_NAME_SIZE];
} BLUETOOTH_DEVICE_INFO;

static_assert(sizeof(BLUETOOTH_DEVICE_INFO) == 560, "BLUETOOTH_DEVICE_INFO is 560 bytes");
static_assert(offsetof(BLUETOOTH_DEVICE_INFO, Address) == 8, "address at offset 8");
static_assert(offsetof(BLUETOOTH_DEVICE_INFO, szName) == 64, "name at offset 64");

DWORD BluetoothGetDeviceInfo(HANDLE radio, BLUETOOTH_DEVICE_INFO* info);
