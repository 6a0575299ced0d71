// Configuration manager of the simulated device tree.
#pragma once

#include <windows.h>
#include <devpropdef.h>

typedef DWORD CONFIGRET;
typedef DWORD DEVINST;
typedef DEVINST* PDEVINST;
typedef DEVINST DEVNODE;
typedef DEVNODE* PDEVNODE;

#define CR_SUCCESS 0x00000000
#define CR_DEFAULT 0x00000001
#define CR_OUT_OF_MEMORY 0x00000002
#define CR_INVALID_POINTER 0x00000003
#define CR_INVALID_FLAG 0x00000004
#define CR_INVALID_DEVNODE 0x00000005
#define CR_INVALID_DEVINST CR_INVALID_DEVNODE
#define CR_NO_SUCH_DEVNODE 0x0000000D
#define CR_NO_SUCH_DEVINST CR_NO_SUCH_DEVNODE
#define CR_FAILURE 0x00000013
#define CR_BUFFER_SMALL 0x0000001A
#define CR_NO_SUCH_VALUE 0x00000025
#define CR_INVALID_DEVICE_ID 0x0000001E

#define CM_LOCATE_DEVNODE_NORMAL 0x00000000
#define CM_LOCATE_DEVNODE_PHANTOM 0x00000001

#define MAX_DEVICE_ID_LEN 200

CONFIGRET WINAPI CM_Get_Parent(PDEVINST pdnDevInst, DEVINST dnDevInst, ULONG ulFlags);
CONFIGRET WINAPI CM_Get_Depth(PULONG pulDepth, DEVINST dnDevInst, ULONG ulFlags);
CONFIGRET WINAPI CM_Get_Device_ID_Size(PULONG pulLen, DEVINST dnDevInst, ULONG ulFlags);
CONFIGRET WINAPI CM_Get_Device_IDW(DEVINST dnDevInst, PWSTR Buffer, ULONG BufferLen, ULONG ulFlags);
CONFIGRET WINAPI CM_Get_Device_IDA(DEVINST dnDevInst, PSTR Buffer, ULONG BufferLen, ULONG ulFlags);
CONFIGRET WINAPI CM_Get_DevNode_PropertyW(DEVINST dnDevInst, const DEVPROPKEY* PropertyKey,
                                          DEVPROPTYPE* PropertyType, PBYTE PropertyBuffer,
                                          PULONG PropertyBufferSize, ULONG ulFlags);
CONFIGRET WINAPI CM_Locate_DevNodeW(PDEVINST pdnDevInst, const WCHAR* pDeviceID, ULONG ulFlags);
CONFIGRET WINAPI CM_Locate_DevNodeA(PDEVINST pdnDevInst, const CHAR* pDeviceID, ULONG ulFlags);
DWORD WINAPI CMP_WaitNoPendingInstallEvents(DWORD dwTimeout);
