// Device-change broadcasts (WM_DEVICECHANGE) and their headers.
#pragma once

#include <windows.h>

#include <cstddef>

#define DBT_DEVNODES_CHANGED 0x0007
#define DBT_DEVICEARRIVAL 0x8000
#define DBT_DEVICEQUERYREMOVE 0x8001
#define DBT_DEVICEQUERYREMOVEFAILED 0x8002
#define DBT_DEVICEREMOVEPENDING 0x8003
#define DBT_DEVICEREMOVECOMPLETE 0x8004
#define DBT_CUSTOMEVENT 0x8006

#define DBT_DEVTYP_DEVICEINTERFACE 0x00000005
#define DBT_DEVTYP_HANDLE 0x00000006


typedef struct _DEV_BROADCAST_HDR {
    DWORD dbch_size;
    DWORD dbch_devicetype;
    DWORD dbch_reserved;
} DEV_BROADCAST_HDR, *PDEV_BROADCAST_HDR;

typedef struct _DEV_BROADCAST_DEVICEINTERFACE_W {
    DWORD dbcc_size;
    DWORD dbcc_devicetype;
    DWORD dbcc_reserved;
    GUID dbcc_classguid;
    WCHAR dbcc_name[1];
} DEV_BROADCAST_DEVICEINTERFACE_W, *PDEV_BROADCAST_DEVICEINTERFACE_W;

typedef struct _DEV_BROADCAST_HANDLE {
    DWORD dbch_size;
    DWORD dbch_devicetype;
    DWORD dbch_reserved;
    HANDLE dbch_handle;
    HDEVNOTIFY dbch_hdevnotify;
    GUID dbch_eventguid;
    LONG dbch_nameoffset;
    BYTE dbch_data[1];
} DEV_BROADCAST_HANDLE, *PDEV_BROADCAST_HANDLE;

static_assert(sizeof(DEV_BROADCAST_HDR) == 12, "DEV_BROADCAST_HDR is 12 bytes");
static_assert(sizeof(DEV_BROADCAST_DEVICEINTERFACE_W) == 32, "DEV_BROADCAST_DEVICEINTERFACE_W is 32 bytes");
static_assert(offsetof(DEV_BROADCAST_DEVICEINTERFACE_W, dbcc_name) == 28, "name after the class");
static_assert(offsetof(DEV_BROADCAST_HANDLE, dbch_handle) == 16, "handle aligned after the header");
static_assert(offsetof(DEV_BROADCAST_HANDLE, dbch_data) == 52, "DEV_BROADCAST_HANDLE data at offset 52");
