// The C entry points: check arguments, delegate, map to a result code; nothing throws out.
#include "QVApi.h"

extern "C" int QV_Init(QV_Callback, void*)
{
    return 0;
}

extern "C" void QV_Shutdown(void) {}

extern "C" int QV_GetDeviceInfo(int64_t, QV_DEVICE_INFO* out)
{
    return out ? QV_DEVICE_ERROR : QV_INVALID_PARAM;
}

extern "C" int QV_StartDFU(int64_t, unsigned int, int, const WCHAR*, int, const WCHAR*)
{
    return QV_INVALID_HANDLE;
}
