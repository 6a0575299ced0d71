// The abstract device behind the DFU API: a protocol device (cDevioDevice) or an engine
// receiver (cQVDevice). Adapters are shared; a handle is the adapter's address.
#pragma once

#include "DfuApi.h"

class cDFUDevice {
public:
    virtual ~cDFUDevice() = default;
    // Copies the whole information block; 0.
    virtual int getInfo(DFU_DEVICE_INFO* out) = 0;
    // Copies one firmware entity: 0, 1 or 6.
    virtual int getEntry(int index, DFU_DEVICE_ENTRY* out) = 0;
    virtual int startUpdate(const char* image, int length, const char* secondImage, int secondLength,
                            bool mainFirst);
    virtual int startReceiverUpdate(const char* image, int length, const char* signature, int signatureLength);

    DFU_DEVICE handle() const { return static_cast<DFU_DEVICE>(reinterpret_cast<std::uintptr_t>(this)); }
};
