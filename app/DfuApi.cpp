// Placeholder entry points until the provider lands.
#include "DfuApi.h"

int DFU_Init(DFU_Callback, void*) { return DFU_OK; }
int DFU_StartDetection() { return DFU_OK; }
int DFU_SetLogCallback(DFU_LogCallback) { return DFU_OK; }
int DFU_GetDeviceInfo(DFU_DEVICE, DFU_DEVICE_INFO*) { return DFU_ERR_INVALID_HANDLE; }
int DFU_GetDeviceEntry(DFU_DEVICE, int, DFU_DEVICE_ENTRY*) { return DFU_ERR_INVALID_HANDLE; }
int DFU_StartUpdate(DFU_DEVICE, const char*, int, const char*, int, bool) { return DFU_ERR_INVALID_HANDLE; }
int DFU_StartReceiverUpdate(DFU_DEVICE, const char*, int, const char*, int) { return DFU_ERR_INVALID_HANDLE; }
