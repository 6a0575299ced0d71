// The DFU API: thin entry points that look the handle up, check their arguments and hand
// the call to the adapter. Nothing here throws.
#include "DfuApi.h"

#include "cDFUDeviceProvider.h"

#include <atomic>
#include <cstring>

namespace {

// Held in a record: under MinGW the callback's va_list parameter carries attributes that a
// template argument would drop (with a warning).
struct LogCallback {
    DFU_LogCallback callback;
};

std::atomic<LogCallback>& log_callback_slot()
{
    static std::atomic<LogCallback> slot{LogCallback{nullptr}};
    return slot;
}

} // namespace

int DFU_Init(DFU_Callback callback, void* context)
{
    DfuCallbackRegistration::instance().set(callback, context);
    // A second call only replaces the callback: the provider thread starts once.
    cDFUDeviceProvider::instance().start();
    return DFU_OK;
}

int DFU_StartDetection()
{
    cDFUDeviceProvider::instance().startDetection();
    return DFU_OK;
}

int DFU_SetLogCallback(DFU_LogCallback callback)
{
    log_callback_slot().store(LogCallback{callback});
    return DFU_OK;
}

int DFU_GetDeviceInfo(DFU_DEVICE device, DFU_DEVICE_INFO* out)
{
    auto adapter = cDFUDeviceProvider::instance().findDevice(device);
    if (!adapter)
        return DFU_ERR_INVALID_HANDLE;
    if (!out)
        return DFU_ERR_INVALID_PARAM;
    std::memset(out, 0, sizeof *out);
    return adapter->getInfo(out);
}

int DFU_GetDeviceEntry(DFU_DEVICE device, int index, DFU_DEVICE_ENTRY* out)
{
    auto adapter = cDFUDeviceProvider::instance().findDevice(device);
    if (!adapter)
        return DFU_ERR_INVALID_HANDLE;
    if (!out)
        return DFU_ERR_INVALID_PARAM;
    std::memset(out, 0, sizeof *out);
    return adapter->getEntry(index, out);
}

int DFU_StartUpdate(DFU_DEVICE device, const char* image, int length, const char* secondImage, int secondLength,
                    bool mainFirst)
{
    auto adapter = cDFUDeviceProvider::instance().findDevice(device);
    if (!adapter)
        return DFU_ERR_INVALID_HANDLE;
    return adapter->startUpdate(image, length, secondImage, secondLength, mainFirst);
}

int DFU_StartReceiverUpdate(DFU_DEVICE device, const char* image, int length, const char* signature,
                            int signatureLength)
{
    auto adapter = cDFUDeviceProvider::instance().findDevice(device);
    if (!adapter)
        return DFU_ERR_INVALID_HANDLE;
    return adapter->startReceiverUpdate(image, length, signature, signatureLength);
}
