// The DFU API as the wizard calls it. The window takes it by reference, so it runs on the real
// calls in the program and on a scripted fake in tests.
#pragma once

#include "DfuApi.h"

class IDfuApi {
public:
    virtual ~IDfuApi() = default;
    virtual int startDetection() = 0;
    virtual int getDeviceInfo(DFU_DEVICE device, DFU_DEVICE_INFO* out) = 0;
    virtual int getDeviceEntry(DFU_DEVICE device, int index, DFU_DEVICE_ENTRY* out) = 0;
    virtual int startUpdate(DFU_DEVICE device, const char* image, int length, const char* secondImage,
                            int secondLength, bool mainFirst) = 0;
    virtual int startReceiverUpdate(DFU_DEVICE device, const char* image, int length, const char* signature,
                                    int signatureLength) = 0;
};

// The process's DFU_* functions.
IDfuApi& dfuApi();
